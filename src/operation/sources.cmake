# The job run is plain C++ (no window): grittor-cli run uses it too.
target_sources(grittor_core PRIVATE
  src/operation/JobRun.cpp
  src/operation/LoadKey.cpp
  src/operation/QueueList.cpp
  src/operation/QueueStore.cpp
)
target_sources(grittor_gui PRIVATE
  src/operation/CommandGate.cpp
  src/operation/JobProgress.cpp
  src/operation/TerminalScreen.cpp
  src/operation/progress.cpp
  src/operation/message.cpp
  src/operation/JobQueue.cpp
  src/operation/PlotImageView.cpp
  src/operation/MainForm.cpp
  src/operation/MainFormTerminal.cpp
  src/operation/MainFormLink.cpp
  src/operation/MainFormPlot.cpp
  src/operation/MainFormJob.cpp
  src/operation/MainFormService.cpp
  src/operation/MainFormTimer.cpp
  src/operation/MainFormQueue.cpp
  src/operation/ChartView.cpp
  src/operation/Forms.cpp
)
