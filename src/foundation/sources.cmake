target_sources(grittor_core PRIVATE
  src/foundation/utils.cpp
  src/foundation/StringUtils.cpp
  src/foundation/ScreenPosition.cpp
  src/foundation/KorvaneAclApi.cpp
  src/foundation/option.cpp
  src/foundation/PlainSettings.cpp
  src/foundation/OptionValues.cpp
  src/foundation/LogOutput.cpp
  src/foundation/ExceptionReporting.cpp
  src/foundation/ProcessHooksLog.cpp
  src/foundation/Clock.cpp
  src/foundation/Seams.cpp
  src/foundation/DataFiles.cpp
  src/foundation/SideThread.cpp
  src/foundation/LargePages.cpp
)
target_sources(grittor_gui PRIVATE
  src/foundation/QtSeams.cpp
  src/foundation/ExceptionReportForm.cpp
  src/foundation/GuiApplication.cpp
  src/foundation/WindowRect.cpp
)
