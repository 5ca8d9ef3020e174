# TIFF pages through libtiff, and the pixel interpolation that smoothed drawing uses.
find_package(TIFF REQUIRED)
target_sources(PxImage PRIVATE ${CMAKE_CURRENT_LIST_DIR}/PxImageInterpolate.cpp)
target_link_libraries(PxImage PRIVATE TIFF::TIFF)
