// make_icons OUTDIR SIZE...: writes the program's own icon, as the windows
// draw it, to OUTDIR/NxN/apps/kestrin.png for the desktop's icon theme.
// A build tool: it runs without a display (QT_QPA_PLATFORM=offscreen).
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "ui/AppIcon.h"

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_icons OUTDIR SIZE...\n");
    return 2;
  }
  const QIcon icon = KestrinIcon();
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 1 || size > 1024) {
      std::fprintf(stderr, "make_icons: bad size %s\n", argv[i]);
      return 2;
    }
    const QPixmap pixmap = icon.pixmap(QSize(size, size), 1.0);
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
    const QString file = folder + QStringLiteral("/kestrin.png");
    // A theme's NxN folder takes only pictures of exactly that size.
    if (pixmap.width() != size || pixmap.height() != size || !QDir().mkpath(folder) ||
        !pixmap.save(file, "PNG")) {
      std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
