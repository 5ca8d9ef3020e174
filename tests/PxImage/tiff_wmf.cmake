find_package(TIFF REQUIRED)

tikora_add_test(PxImage_periphery2_tests
  SOURCES TiffDecoderTest.cpp WmfDecoderTest.cpp InterpolationTest.cpp
  LIBS PxImage TIFF::TIFF)

tikora_add_fuzzer(pximage_more2 SOURCES FuzzDecode.cpp LIBS PxImage)
