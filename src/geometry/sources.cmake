# Outline collection, blast path and alignment, blast list and job text, and
# the one pipeline from plot to machine text (BlastJob).
target_sources(grittor_core PRIVATE
  src/geometry/polygon.cpp
  src/geometry/OutlineCollector.cpp
  src/geometry/HpglOutput.cpp
  src/geometry/Blow.cpp
  src/geometry/BlastJob.cpp
  src/geometry/Placement.cpp
)
target_sources(grittor-cli-full PRIVATE
  src/app/cli/BlastCommands.cpp
  src/app/cli/RunCommand.cpp
)
