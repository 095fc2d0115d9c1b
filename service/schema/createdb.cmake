# Creates DB_FOLDER/application.db and DB_FOLDER/phonebook.db from the schema
# files beside this script, each only when it is missing: a database that is
# already there holds the office's users and phone book and is never touched.
#
#   cmake -DDB_FOLDER=<folder> [-DSQLITE3=<sqlite3 program>] -P createdb.cmake
if(NOT DB_FOLDER)
  message(FATAL_ERROR "createdb.cmake: DB_FOLDER is not set")
endif()
if(NOT SQLITE3)
  find_program(SQLITE3 sqlite3)
endif()
if(NOT SQLITE3)
  message(FATAL_ERROR "createdb.cmake: the sqlite3 program is needed to create the databases")
endif()

file(MAKE_DIRECTORY "${DB_FOLDER}")
foreach(name application phonebook)
  set(database "${DB_FOLDER}/${name}.db")
  if(EXISTS "${database}")
    message(STATUS "Keeping: ${database}")
    continue()
  endif()
  # Built under a temporary name so that a failure leaves no half-made file
  # that a later run would keep.
  set(partial "${database}.partial")
  file(REMOVE "${partial}" "${partial}-wal" "${partial}-shm")
  execute_process(
    COMMAND "${SQLITE3}" -bail "${partial}"
    INPUT_FILE "${CMAKE_CURRENT_LIST_DIR}/${name}.sql"
    RESULT_VARIABLE result
    OUTPUT_QUIET
    ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    file(REMOVE "${partial}" "${partial}-wal" "${partial}-shm")
    message(FATAL_ERROR "Cannot create ${database}: ${error}")
  endif()
  # Shared by the service and the console through the folder's group.
  file(CHMOD "${partial}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ GROUP_WRITE)
  file(RENAME "${partial}" "${database}")
  message(STATUS "Created: ${database}")
endforeach()
