# Fails naming each include that runs upward: every folder may include its own files and those
# of the layers below it, and nothing below ui/ includes the toolkit.
#   platform  <  core  <  settings  <  ui  <  app;   the console on platform; the decoder alone
set(layers
    "platform:platform"
    "core:core platform"
    "settings:settings core platform"
    "ui:ui settings core platform"
    "app:app ui settings core platform"
    "tools/console:tools platform"
    "tools/decoder:tools")
set(found "")
foreach(layer ${layers})
    string(REPLACE ":" ";" parts "${layer}")
    list(GET parts 0 folder)
    list(GET parts 1 allowed)
    string(REPLACE " " ";" allowed "${allowed}")
    file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h)
    foreach(source ${sources})
        file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include")
        foreach(line IN LISTS lines)
            set(bad FALSE)
            if(line MATCHES "#[ \t]*include[ \t]*\"([^\"/]+)/")
                list(FIND allowed "${CMAKE_MATCH_1}" at)
                if(at EQUAL -1)
                    set(bad TRUE)
                endif()
            elseif(line MATCHES "#[ \t]*include[ \t]*\"\\.\\./")
                set(bad TRUE)
            endif()
            if(NOT folder MATCHES "^(ui|app)$" AND line MATCHES "#[ \t]*include[ \t]*<Q")
                set(bad TRUE)
            endif()
            if(bad)
                file(RELATIVE_PATH relative ${SOURCE_DIR} ${source})
                string(APPEND found "  ${relative}: ${line}\n")
            endif()
        endforeach()
    endforeach()
endforeach()
if(found)
    message(FATAL_ERROR "Includes that run against the layers:\n${found}")
endif()
