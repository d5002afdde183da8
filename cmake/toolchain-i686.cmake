# Cross build for 32-bit Windows: the binary contract.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PLENVORT_TRIPLE i686-w64-mingw32)
set(PLENVORT_WIDL_ARCH -m32)
set(PLENVORT_WINE_TLB_DIR /usr/lib/i386-linux-gnu/wine/i386-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
