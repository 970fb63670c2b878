# The file-system object: drive letters, volume serials and sizes.
# GLOBAL: the library target is defined above this folder.
pkg_check_modules(BLKID REQUIRED IMPORTED_TARGET GLOBAL blkid)
target_sources(ombrix_platform_linux PRIVATE
  FileSystem.h
  linux/MountInfo.h linux/MountInfo.cpp
  linux/BlockDevices.h linux/BlockDevices.cpp
  linux/DriveTable.h linux/DriveTable.cpp
  linux/VolumeProbe.h linux/VolumeProbe.cpp
  linux/BoundedCall.h linux/BoundedCall.cpp
  linux/LinuxFileSystem.h linux/LinuxFileSystem.cpp)
target_link_libraries(ombrix_platform_linux PUBLIC PkgConfig::BLKID)
