// Widget tests need an application object; with no display they use the
// offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/resources.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  ostrel::ui::init_resources();
  return RUN_ALL_TESTS();
}
