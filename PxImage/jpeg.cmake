# The JPEG decoder reads through libjpeg; its EXIF reader is plain byte parsing.
find_package(JPEG REQUIRED)
target_sources(PxImage PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PxImageEXIF.cpp
)
target_link_libraries(PxImage PRIVATE JPEG::JPEG)
