# grittor-sim: the simulated machine controller.  The protocol pieces are a
# library of their own so the unit tests can drive them in-process.
add_library(grittor_sim_core STATIC
  tools/machine-sim/SimLine.cpp
  tools/machine-sim/SimXmodem.cpp
  tools/machine-sim/SimMonitor.cpp
  tools/machine-sim/SimMachine.cpp
  tools/machine-sim/SimPty.cpp
  tools/machine-sim/SimTranscript.cpp
  tools/machine-sim/SimRunner.cpp
)
target_include_directories(grittor_sim_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/tools/machine-sim)

add_executable(grittor-sim tools/machine-sim/SimMain.cpp)
target_link_libraries(grittor-sim PRIVATE grittor_sim_core)
target_include_directories(grittor-sim PRIVATE ${PROJECT_BINARY_DIR}/generated) # foundation/BuildInfo.h
