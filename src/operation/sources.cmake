target_sources(grittor_gui PRIVATE
  src/operation/progress.cpp
  src/operation/message.cpp
  src/operation/JobQueue.cpp
  src/operation/PlotImageView.cpp
)
