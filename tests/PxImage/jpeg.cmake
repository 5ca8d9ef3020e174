find_package(JPEG REQUIRED)

tikora_add_test(PxImage_jpeg_tests
  SOURCES JpegDecoderTest.cpp ExifReaderTest.cpp
  LIBS PxImage JPEG::JPEG)

tikora_add_fuzzer(pximage_jpeg SOURCES FuzzDecode.cpp LIBS PxImage)
