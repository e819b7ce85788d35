# Segment planning and output file naming: plain logic, part of kc_split.
target_sources(kc_split PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/planning.cpp ${CMAKE_CURRENT_LIST_DIR}/planning.h
  ${CMAKE_CURRENT_LIST_DIR}/naming.cpp ${CMAKE_CURRENT_LIST_DIR}/naming.h
)
