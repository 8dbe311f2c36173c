// Brennix: creates the six windows and runs the event loop until the scoreboard closes.
#include "engine/operations.h"
#include "storage/paths.h"
#include "ui/dialog.h"
#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form3.h"
#include "ui/form4.h"
#include "ui/form5.h"
#include "ui/form6.h"
#include "ui/forms.h"
#include "ui/icon.h"
#include "ui/messages.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    using namespace brennix;
    QApplication application(argc, argv);
    QApplication::setApplicationName(AppTitle);
    QApplication::setWindowIcon(ProgramIcon());
    InstallFontSubstitutes();
    SetBaseDir(QCoreApplication::applicationDirPath().toStdString());

    std::vector<std::string> arguments(argv + 1, argv + argc);
    TForm1 form1(arguments);
    TForm2 form2(&form1);
    TForm3 form3(&form1);
    TForm4 form4(&form1);
    TForm5 form5(&form1);
    TForm6 form6(&form1);
    Form1 = &form1;
    Form2 = &form2;
    Form3 = &form3;
    Form4 = &form4;
    Form5 = &form5;
    Form6 = &form6;
    Ops = &form1;

    CentreOnDesktop(&form1); // until start-up puts it in its place
    form1.show();
    const int result = QApplication::exec();
    Ops = nullptr;
    return result;
}
