# Warnings for every target of the project, set per target rather than globally.
function(opcxmlda_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -pedantic)
endfunction()

# Qt code: no implicit ASCII conversions, string builder, no foreach; moc runs for these targets
# only (it is off by default, so targets without Qt have no code-generation step).
function(opcxmlda_qt_defaults target)
  set_target_properties(${target} PROPERTIES AUTOMOC ON)
  target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII QT_USE_QSTRINGBUILDER
                                               QT_NO_FOREACH)
endfunction()
