# Puts the freshly built default book at DESTINATION unless a book is there
# already: a book that has learned from games is never overwritten. Delete it
# to get a fresh copy at the next build.
if(NOT EXISTS "${DESTINATION}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E copy "${BOOK}" "${DESTINATION}" RESULT_VARIABLE failed)
  if(failed)
    message(WARNING "Could not place the opening book at ${DESTINATION}")
  else()
    message(STATUS "Opening book placed at ${DESTINATION}")
  endif()
endif()
