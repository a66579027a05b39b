target_sources(grittor_core PRIVATE
  src/pens/TPens.cpp
  src/pens/MaterialLibrary.cpp
)
