# Range and split-mode entry: the handlers of the split-mode group's controls.
add_library(kc_rangeentry_ui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/rangeentry.cpp ${CMAKE_CURRENT_LIST_DIR}/rangeentry.h
)
target_link_libraries(kc_rangeentry_ui PUBLIC kc_source_ui kc_common_ui)
