# Outline collection, blast path and alignment, blast list and job text.
# HpglOutput lives in the hpgl folder but belongs to this area.
target_sources(grittor_core PRIVATE
  src/geometry/polygon.cpp
  src/geometry/OutlineFeed.cpp
  src/geometry/Blow.cpp
  src/hpgl/HpglOutput.cpp
)
target_sources(grittor-cli PRIVATE
  src/app/cli/BlastCommands.cpp
)
