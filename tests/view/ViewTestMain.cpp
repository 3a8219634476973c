#include <clocale>

#include <QApplication>

int RunMainWindowTests(int argc, char** argv);
int RunQtDialogsTests(int argc, char** argv);
int RunHelpDialogTests(int argc, char** argv);
int RunQtControlStateTests(int argc, char** argv);
int RunSearchViewTests(int argc, char** argv);
int RunDownloadViewTests(int argc, char** argv);

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int failed = 0;
    failed += RunMainWindowTests(argc, argv);
    failed += RunQtDialogsTests(argc, argv);
    failed += RunHelpDialogTests(argc, argv);
    failed += RunQtControlStateTests(argc, argv);
    failed += RunSearchViewTests(argc, argv);
    failed += RunDownloadViewTests(argc, argv);
    return failed == 0 ? 0 : 1;
}
