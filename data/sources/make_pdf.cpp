// make_pdf: lays out one of Kestrin's HTML help sources as an A4 PDF.
//
//   make_pdf [--css FILE] [--base DIR] INPUT.html OUTPUT.pdf
//
// --css gives the style sheet shared by the help documents, --base the folder
// that relative image names in the HTML are looked up in. The document's
// <title> becomes the PDF title and the running header of every page after
// the first; the first page carries the product band instead. Every page has
// "Page N of M" at its foot.
//
// Runs without a display: the offscreen platform is chosen before the
// application object exists.

#include <QAbstractTextDocumentLayout>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int Resolution = 300;              // dots per inch of the layout
constexpr double HeaderMm = 11.0;            // band above the text on every page
constexpr double FooterMm = 10.0;            // band below it
constexpr double KeepWithHeadingMm = 16.0;   // text a heading needs below it on its page
const QColor Accent(0x1e, 0x5a, 0xa8);
const QColor Rule(0xb0, 0xb8, 0xc2);
const QColor Quiet(0x55, 0x5f, 0x6b);

double MmToDots(double mm) { return mm / 25.4 * Resolution; }

bool ReadText(const QString& path, QString& text) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "make_pdf: cannot read %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
    return false;
  }
  text = QString::fromUtf8(file.readAll());
  return true;
}

QFont SansFont(double points, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

// The product band across the top of the first page.
void DrawTitleBand(QPainter& painter, double width, double height) {
  const QRectF band(0, 0, width, height * 0.72);
  painter.fillRect(band, Accent);
  painter.setPen(Qt::white);
  painter.setFont(SansFont(11, true));
  painter.drawText(band.adjusted(MmToDots(3), 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("KESTRIN"));
  painter.setFont(SansFont(8.5, false));
  painter.drawText(band.adjusted(0, 0, -MmToDots(3), 0), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("Control program for VRX production programmers"));
}

// Document title on the left, product name on the right, a rule below.
void DrawRunningHeader(QPainter& painter, double width, double height, const QString& title) {
  const QRectF area(0, 0, width, height * 0.6);
  painter.setPen(Quiet);
  painter.setFont(SansFont(8, false));
  painter.drawText(area, Qt::AlignLeft | Qt::AlignBottom, title);
  painter.setPen(Accent);
  painter.setFont(SansFont(8, true));
  painter.drawText(area, Qt::AlignRight | Qt::AlignBottom, QStringLiteral("Kestrin"));
  painter.setPen(QPen(Rule, MmToDots(0.25)));
  const double y = height * 0.72;
  painter.drawLine(QPointF(0, y), QPointF(width, y));
}

void DrawFooter(QPainter& painter, double top, double width, double height, int page, int pages) {
  painter.setPen(QPen(Rule, MmToDots(0.25)));
  const double y = top + height * 0.3;
  painter.drawLine(QPointF(0, y), QPointF(width, y));
  painter.setPen(Quiet);
  painter.setFont(SansFont(8, false));
  painter.drawText(QRectF(0, y, width, height - height * 0.3), Qt::AlignHCenter | Qt::AlignVCenter,
                   QStringLiteral("Page %1 of %2").arg(page).arg(pages));
}

int PageOf(double y, double pageHeight) { return static_cast<int>(y / pageHeight); }

bool BreaksBefore(const QTextFormat& format) {
  return format.toFrameFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
}

void BreakBefore(const QTextBlock& block) {
  QTextBlockFormat format = block.blockFormat();
  format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
  QTextCursor(block).setBlockFormat(format);
}

void BreakBefore(QTextTable& table) {
  QTextTableFormat format = table.format();
  format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
  table.setFormat(format);
}

// Top and bottom of one table row in document coordinates.
void RowExtent(QAbstractTextDocumentLayout* layout, QTextTable& table, int row, double& top, double& bottom) {
  for (int column = 0; column < table.columns(); ++column) {
    const QTextTableCell cell = table.cellAt(row, column);
    const double a = layout->blockBoundingRect(cell.firstCursorPosition().block()).top();
    const double b = layout->blockBoundingRect(cell.lastCursorPosition().block()).bottom();
    top = column == 0 ? a : std::min(top, a);
    bottom = column == 0 ? b : std::max(bottom, b);
  }
}

bool HasSpans(QTextTable& table) {
  for (int row = 0; row < table.rows(); ++row)
    for (int column = 0; column < table.columns(); ++column) {
      const QTextTableCell cell = table.cellAt(row, column);
      if (cell.rowSpan() != 1 || cell.columnSpan() != 1) return true;
    }
  return false;
}

// Moves rows from `row` on into a new table that starts on the next page and
// repeats the header rows. Qt splits a row across pages line by line; this
// keeps each row whole.
void SplitTable(QTextDocument& doc, QTextTable& table, int row) {
  const int headers = table.format().headerRowCount();
  const int columns = table.columns();
  const int moved = table.rows() - row;
  QTextTableFormat format = table.format();
  format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);

  QTextCursor cursor(&doc);
  cursor.setPosition(table.lastPosition() + 1);
  QTextTable* rest = cursor.insertTable(headers + moved, columns, format);
  auto copyRow = [&](int from, int to) {
    for (int column = 0; column < columns; ++column) {
      const QTextTableCell source = table.cellAt(from, column);
      QTextCursor selection = source.firstCursorPosition();
      selection.setPosition(source.lastCursorPosition().position(), QTextCursor::KeepAnchor);
      QTextTableCell target = rest->cellAt(to, column);
      target.setFormat(source.format());
      target.firstCursorPosition().insertFragment(selection.selection());
    }
  };
  for (int r = 0; r < headers; ++r) copyRow(r, r);
  for (int r = 0; r < moved; ++r) copyRow(row + r, headers + r);
  table.removeRows(row, moved);
}

// Finds the first place where a page would end badly and mends it: a heading
// with too little of its text below it, a table that would leave only its
// header behind (moved with the heading right above it), or a table row that
// would straddle two pages. Returns false when the layout needs no mending.
bool MendFirstBreak(QTextDocument& doc, double pageHeight, double keep) {
  QAbstractTextDocumentLayout* layout = doc.documentLayout();
  QTextBlock heading;   // the heading just above the current element, if any
  for (QTextFrame::iterator it = doc.rootFrame()->begin(); !it.atEnd(); ++it) {
    if (QTextTable* table = qobject_cast<QTextTable*>(it.currentFrame())) {
      const int firstBody = table->format().headerRowCount();
      const double top = layout->frameBoundingRect(table).top();
      const int page = PageOf(top, pageHeight);
      for (int row = firstBody; row < table->rows(); ++row) {
        double rowTop = 0, rowBottom = 0;
        RowExtent(layout, *table, row, rowTop, rowBottom);
        if (PageOf(rowBottom, pageHeight) == PageOf(rowTop, pageHeight) && PageOf(rowTop, pageHeight) == page) continue;
        if (row == firstBody) {
          // The first row is not on the page the table starts on.
          if (BreaksBefore(table->format()) || top <= page * pageHeight + 1) break;
          if (heading.isValid() && !BreaksBefore(heading.blockFormat()))
            BreakBefore(heading);
          else
            BreakBefore(*table);
          return true;
        }
        if (rowBottom - rowTop >= pageHeight / 2 || HasSpans(*table)) break;
        SplitTable(doc, *table, row);
        return true;
      }
      heading = QTextBlock();
      continue;
    }
    const QTextBlock block = it.currentBlock();
    if (!block.isValid()) continue;
    if (block.blockFormat().headingLevel() > 0) {
      const QRectF box = layout->blockBoundingRect(block);
      const int page = PageOf(box.top(), pageHeight);
      if (!BreaksBefore(block.blockFormat()) && box.bottom() + keep > (page + 1) * pageHeight &&
          box.top() > page * pageHeight + 1) {
        BreakBefore(block);
        return true;
      }
      heading = block;
    } else if (!block.text().trimmed().isEmpty()) {
      heading = QTextBlock();
    }
  }
  return false;
}

void KeepTogether(QTextDocument& doc, double pageHeight, double keep) {
  for (int pass = 0; pass < 500 && MendFirstBreak(doc, pageHeight, keep); ++pass) {
  }
}

// Qt's notes about the missing runtime folder of a display session mean
// nothing to a build; everything else is passed on.
void FilterMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (message.contains(QLatin1String("XDG_RUNTIME_DIR"))) return;
  std::fprintf(stderr, "%s\n", qPrintable(message));
  if (type == QtFatalMsg) std::abort();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(FilterMessages);
  QGuiApplication app(argc, argv);
  QGuiApplication::setApplicationName(QStringLiteral("make_pdf"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Lays out an HTML help source as an A4 PDF."));
  parser.addHelpOption();
  const QCommandLineOption cssOption(QStringLiteral("css"), QStringLiteral("Style sheet for the document."),
                                     QStringLiteral("FILE"));
  const QCommandLineOption baseOption(QStringLiteral("base"),
                                      QStringLiteral("Folder that relative image names are found in."),
                                      QStringLiteral("DIR"));
  parser.addOption(cssOption);
  parser.addOption(baseOption);
  parser.addPositionalArgument(QStringLiteral("input"), QStringLiteral("HTML source."));
  parser.addPositionalArgument(QStringLiteral("output"), QStringLiteral("PDF file to write."));
  parser.process(app);

  const QStringList args = parser.positionalArguments();
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: make_pdf [--css FILE] [--base DIR] INPUT.html OUTPUT.pdf\n");
    return 2;
  }
  const QString input = args[0];
  const QString output = args[1];

  QString html;
  if (!ReadText(input, html)) return 1;
  QString css;
  if (parser.isSet(cssOption) && !ReadText(parser.value(cssOption), css)) return 1;
  const QString base =
      parser.isSet(baseOption) ? parser.value(baseOption) : QFileInfo(input).absolutePath();

  QPdfWriter writer(output);
  writer.setResolution(Resolution);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(20, 14, 20, 12), QPageLayout::Millimeter);
  writer.setCreator(QStringLiteral("Kestrin"));

  QTextDocument doc;
  doc.documentLayout()->setPaintDevice(&writer);
  doc.setDefaultFont(SansFont(10, false));
  doc.setDefaultStyleSheet(css);
  doc.setBaseUrl(QUrl::fromLocalFile(QFileInfo(base).absoluteFilePath() + QLatin1Char('/')));
  doc.setDocumentMargin(0);
  doc.setHtml(html);

  QString title = doc.metaInformation(QTextDocument::DocumentTitle);
  if (title.isEmpty()) title = QFileInfo(input).completeBaseName();
  writer.setTitle(title);

  const double width = writer.width();
  const double headerH = MmToDots(HeaderMm);
  const double footerH = MmToDots(FooterMm);
  const double bodyH = writer.height() - headerH - footerH;
  if (bodyH <= 0) {
    std::fprintf(stderr, "make_pdf: page too small\n");
    return 1;
  }
  doc.setPageSize(QSizeF(width, bodyH));
  KeepTogether(doc, bodyH, MmToDots(KeepWithHeadingMm));
  const int pages = doc.pageCount();

  QPainter painter;
  if (!painter.begin(&writer)) {
    std::fprintf(stderr, "make_pdf: cannot write %s\n", qPrintable(output));
    return 1;
  }
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  for (int page = 0; page < pages; ++page) {
    if (page > 0) writer.newPage();
    if (page == 0)
      DrawTitleBand(painter, width, headerH);
    else
      DrawRunningHeader(painter, width, headerH, title);
    DrawFooter(painter, headerH + bodyH, width, footerH, page + 1, pages);

    painter.save();
    painter.translate(0, headerH - page * bodyH);
    const QRectF visible(0, page * bodyH, width, bodyH);
    painter.setClipRect(visible);
    doc.drawContents(&painter, visible);
    painter.restore();
  }
  if (!painter.end()) {
    std::fprintf(stderr, "make_pdf: writing %s failed\n", qPrintable(output));
    return 1;
  }
  std::printf("make_pdf: %s, %d page%s\n", qPrintable(QFileInfo(output).fileName()), pages,
              pages == 1 ? "" : "s");
  return 0;
}
