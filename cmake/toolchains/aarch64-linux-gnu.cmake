# 64-bit ARM, with Debian's cross compiler; programs run under qemu-user. Debian's arm64
# packages installed beside the machine's own (multiarch) give Qt for the window.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(LUMASHIFT_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
# The multiarch libraries (Qt and what it needs) live in /usr/lib/aarch64-linux-gnu.
list(APPEND CMAKE_FIND_ROOT_PATH /)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/${LUMASHIFT_TRIPLE}
    -E LD_LIBRARY_PATH=/usr/lib/${LUMASHIFT_TRIPLE})
# Qt's code generators (moc) are the machine's own.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
