#include "forms.h"

#include "engine/operations.h"
#include "fonts.h"
#include "form1.h"
#include "form5.h"
#include "icon.h"
#include "messages.h"

#include <QApplication>

namespace brennix {

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TForm4* Form4 = nullptr;
TForm5* Form5 = nullptr;
TForm6* Form6 = nullptr;

void SetUpApplication() {
    QApplication::setApplicationName(AppTitle);
    QApplication::setWindowIcon(ProgramIcon());
    InstallFontSubstitutes();
}

void CreateForms(const TRunOptions& options) {
    Form1 = new TForm1(options);
    Form5 = new TForm5(Form1);
    Ops = Form1;
}

void DestroyForms() {
    Ops = nullptr;
    delete Form1; // and with it the dialogs
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
    Form4 = nullptr;
    Form5 = nullptr;
    Form6 = nullptr;
}

} // namespace brennix
