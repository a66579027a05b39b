target_sources(grittor_core PRIVATE
  src/pens/TPens.cpp
)
