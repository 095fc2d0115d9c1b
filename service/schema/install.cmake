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

# The program folder and its data folders carry the set-group-ID bit and are
# writable by their group: every file the service or the console creates in
# them then belongs to the folder's group, the account the service runs as,
# and with the umask of 0007 both programs use, stays writable by the other.
# The queues and databases are no business of other users.
install(CODE "
  set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TALVINOR_PROGRAM_DIR}\")
  execute_process(COMMAND chmod g+rwxs \"\${folder}\" \"\${folder}/lang\" COMMAND_ERROR_IS_FATAL ANY)
  foreach(sub Unsent Sent Incoming Backup db)
    execute_process(COMMAND chmod g+rwxs,o-rwx \"\${folder}/\${sub}\" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
")
