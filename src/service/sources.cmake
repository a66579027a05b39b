target_sources(grittor_gui PRIVATE
  src/service/AboutDlg.cpp
  src/service/MainMenu.cpp
  src/service/Calibrate.cpp
  src/service/joystick.cpp
  src/service/Engineering.cpp
  src/service/ReadAndDisplay.cpp
  src/service/Memory.cpp
  src/service/CalToPrint.cpp
  src/service/JpegDecoder.cpp
)
