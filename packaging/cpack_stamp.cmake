# Run by cpack on the staged files before it packs them: every file,
# directory and link gets the time SOURCE_DATE_EPOCH names, so that the
# package does not depend on when the tree was checked out or built.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is not set")
endif()
execute_process(
  COMMAND find ${CPACK_TEMPORARY_INSTALL_DIRECTORY} -exec
          touch -h -d @$ENV{SOURCE_DATE_EPOCH} {} +
  RESULT_VARIABLE status)
if(status)
  message(FATAL_ERROR "cannot set the time stamps of the staged files")
endif()
