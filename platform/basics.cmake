# Memory, version record, OS version and build, host, floppy drive and the
# processor library's loader.
target_sources(ombrix_platform_linux PRIVATE
  linux/KernelRelease.h linux/KernelRelease.cpp
  linux/OsRelease.h linux/OsRelease.cpp
  linux/LinuxMemoryStatus.h linux/LinuxMemoryStatus.cpp
  linux/LinuxVersionQuery.h linux/LinuxVersionQuery.cpp
  linux/LinuxSystemInfo.h linux/LinuxSystemInfo.cpp
  linux/LinuxHostInfo.h linux/LinuxHostInfo.cpp
  linux/LinuxFloppyDrive.h linux/LinuxFloppyDrive.cpp
  linux/SharedLibrary.h linux/SharedLibrary.cpp
  linux/LinuxCpuLibrary.h linux/LinuxCpuLibrary.cpp)
