# 32-bit big-endian PowerPC, with Debian's cross compiler; programs run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)
set(LUMASHIFT_TRIPLE powerpc-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-ppc -L /usr/${LUMASHIFT_TRIPLE})
