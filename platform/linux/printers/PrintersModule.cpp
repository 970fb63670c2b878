// The entry point of libombrix_printers.so, the module that holds the CUPS
// printers so that the program links libcups only when printers are shown.
#include "platform/linux/printers/CupsPrinters.h"

extern "C" __attribute__((visibility("default"))) ombrix::platform::Printers*
ombrix_make_printers() {
    return new ombrix::platform::CupsPrinters();
}

// The printers of another computer's scheduler.
extern "C" __attribute__((visibility("default"))) ombrix::platform::Printers*
ombrix_make_printers_at(const char* server) {
    return new ombrix::platform::CupsPrinters(std::chrono::milliseconds(1000), server);
}
