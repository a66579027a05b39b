target_sources(grittor_core PRIVATE
  src/pens/TPens.cpp
  src/pens/MaterialLibrary.cpp
  src/pens/LibraryStore.cpp
  src/pens/LibraryRead.cpp
  src/pens/JsonTree.cpp
)
target_sources(grittor_gui PRIVATE
  src/pens/CloseQueryDialog.cpp
  src/pens/RadioGroup.cpp
  src/pens/CopyForm.cpp
  src/pens/SelectMaterialForm.cpp
  src/pens/PenForm.cpp
  src/pens/PenParameters.cpp
)
