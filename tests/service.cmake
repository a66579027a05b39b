grittor_add_test(NAME test_service_gui LABEL gui
  SOURCES
    gui/service/jpeg_decoder_test.cpp
  LIBS grittor_gui)
