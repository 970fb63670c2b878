#include "about/frmAbout.h"
#include "app/Application.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "platform/linux/QtMessageBoxes.h"

#include <memory>

int main(int argc, char** argv) {
    ombrix::platform::QtMessageBoxes boxes;
    ombrix::Application app(argc, argv, boxes);
    ombrix::Forms forms;
    forms.add("frmAbout", [] {
        auto w = std::make_unique<ombrix::frmAbout>();
        w->Form_Load();
        return w;
    });
    return 0;
}
