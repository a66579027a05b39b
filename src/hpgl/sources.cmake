target_sources(grittor_core PRIVATE
  src/hpgl/hpgl.cpp
  src/hpgl/HpglCommands.cpp
  src/hpgl/PlotReplay.cpp
  src/hpgl/HpglEscapes.cpp
  src/hpgl/Canvas.cpp
  src/hpgl/CanvasSink.cpp
  src/hpgl/IndexedCanvas.cpp
  src/hpgl/IndexedRender.cpp
  src/hpgl/PngWriter.cpp
  src/hpgl/RunDeflate.cpp
)
target_sources(grittor_gui PRIVATE
  src/hpgl/QPainterCanvas.cpp
)
target_sources(grittor-cli-full PRIVATE
  src/app/cli/HpglInfoCommand.cpp
  src/app/cli/CliSettings.cpp
)
