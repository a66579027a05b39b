# The decisions of the service windows, headless: tuning tables, motion-test
# capture and statistics, motor records, memory dump, plot and stash files.
target_sources(grittor_core PRIVATE
  src/service/TuningTables.cpp
  src/service/CaptureParser.cpp
  src/service/CaptureStatistics.cpp
  src/service/MotorRecords.cpp
  src/service/DumpRecordReader.cpp
  src/service/MemoryDump.cpp
  src/service/PlotDataFile.cpp
  src/service/StashFile.cpp
)
target_sources(grittor_gui PRIVATE
  src/service/AboutDlg.cpp
  src/service/SettingsApply.cpp
  src/service/MainMenu.cpp
  src/service/Calibrate.cpp
  src/service/JogCommands.cpp
  src/service/ExchangeQueue.cpp
  src/service/joystick.cpp
  src/service/SerialDevices.cpp
  src/service/Engineering.cpp
  src/service/ReadAndDisplay.cpp
  src/service/Memory.cpp
  src/service/CalToPrint.cpp
  src/service/JpegDecoder.cpp
)
