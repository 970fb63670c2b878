#include "app/Application.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "drive_details/Drive.h"
#include "platform/linux/LinuxFileSystem.h"
#include "platform/linux/QtMessageBoxes.h"

#include <memory>

int main(int argc, char** argv) {
    ombrix::platform::QtMessageBoxes boxes;
    ombrix::Application app(argc, argv, boxes);
    ombrix::Forms forms;
    ombrix::platform::LinuxFileSystem fileSystem;
    forms.add(QStringLiteral("Drive"), [&] {
        auto window = std::make_unique<ombrix::Drive>(fileSystem, forms);
        window->Form_Load();
        return window;
    });
    return 0;
}
