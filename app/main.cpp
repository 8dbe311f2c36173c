// Brennix: creates the six windows and runs the event loop until the scoreboard closes.
#include "storage/paths.h"
#include "ui/dialog.h"
#include "ui/form1.h"
#include "ui/forms.h"
#include "ui/messages.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    using namespace brennix;
    QApplication application(argc, argv);
    SetUpApplication();
    UseDataPlaceOf(PathFromQt(QCoreApplication::applicationDirPath()));

    CreateForms(std::vector<std::string>(argv + 1, argv + argc));
    CentreOnDesktop(Form1); // until start-up puts it in its place
    Form1->show();
    const int result = QApplication::exec();
    DestroyForms();
    return result;
}
