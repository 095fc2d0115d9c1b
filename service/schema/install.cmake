# The install step creates the two databases in the program folder's db
# folder when they are missing; existing ones are kept as they are.
find_program(TALVINOR_SQLITE3 sqlite3)
install(CODE "
  execute_process(
    COMMAND \"${CMAKE_COMMAND}\"
      \"-DDB_FOLDER=\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TALVINOR_PROGRAM_DIR}/db\"
      \"-DSQLITE3=${TALVINOR_SQLITE3}\"
      -P \"${CMAKE_CURRENT_SOURCE_DIR}/schema/createdb.cmake\"
    COMMAND_ERROR_IS_FATAL ANY)
")
