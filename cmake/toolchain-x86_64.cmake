# Cross build for 64-bit Windows: same interfaces and file format, pointer-sized handles.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PLENVORT_TRIPLE x86_64-w64-mingw32)
set(PLENVORT_WIDL_ARCH -m64)
set(PLENVORT_WINE_TLB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
