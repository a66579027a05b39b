add_executable(grittor src/app/Grittor.cpp)
target_link_libraries(grittor PRIVATE grittor_gui)
set_target_properties(grittor PROPERTIES ENABLE_EXPORTS ON)
