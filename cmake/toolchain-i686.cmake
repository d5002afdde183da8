# Cross build for 32-bit Windows: the binary contract.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PLENVORT_TRIPLE i686-w64-mingw32)
set(PLENVORT_WIDL_ARCH -m32)
# stdole2.tlb for importlib comes from the 64-bit Wine: the 32-bit type library that widl
# makes with it is byte for byte the one it makes with wine32's copy, and no i386 package is needed.
set(PLENVORT_WINE_TLB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
