// Test main for widget tests: a QApplication on the offscreen platform.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
