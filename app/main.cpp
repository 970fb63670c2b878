#include "app/Application.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "platform/linux/QtMessageBoxes.h"

int main(int argc, char** argv) {
    ombrix::platform::QtMessageBoxes boxes;
    ombrix::Application app(argc, argv, boxes);
    ombrix::Forms forms;
    return 0;
}
