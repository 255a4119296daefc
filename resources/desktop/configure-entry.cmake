# Writes the desktop entry at install time, when the final prefix is known.
# In: AERLUME_APP_ID, AERLUME_ENTRY_IN, AERLUME_ENTRY_OUT, AERLUME_BINDIR and
# CMAKE_INSTALL_PREFIX. Exec holds the program's path quoted by the
# desktop-entry rules when it contains a reserved character; TryExec holds
# the plain path. Both then get the value escapes (backslash doubled).
set(path "${CMAKE_INSTALL_PREFIX}/${AERLUME_BINDIR}/aerlume")
set(exec "${path}")
if(exec MATCHES "[ \t\n'\"\\\\<>~|&;$*?#()`]")
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
string(REPLACE "%" "%%" exec "${exec}")
string(REPLACE "\\" "\\\\" AERLUME_EXEC "${exec}")
string(REPLACE "\\" "\\\\" AERLUME_TRY_EXEC "${path}")
configure_file("${AERLUME_ENTRY_IN}" "${AERLUME_ENTRY_OUT}" @ONLY)
