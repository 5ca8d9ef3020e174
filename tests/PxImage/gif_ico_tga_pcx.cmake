tikora_add_test(PxImage_periphery1_tests
  SOURCES GifDecoderTest.cpp IcoDecoderTest.cpp TgaDecoderTest.cpp PcxDecoderTest.cpp
  LIBS PxImage)

tikora_add_fuzzer(pximage_more1 SOURCES FuzzDecode.cpp LIBS PxImage)
