#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Each buffer holds 255 characters plus a terminating zero; nothing is written
// beyond it. The result is 0 on success.
int GetProcessor(char* model, char* vendor, char* extra);
int GetProcessorRawSpeed(char* speed);
int GetProcessorNormSpeed(char* speed);

#ifdef __cplusplus
}
#endif
