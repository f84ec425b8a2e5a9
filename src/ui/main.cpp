#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel label("Ostrel TFTP Server");
  label.show();
  return app.exec();
}
