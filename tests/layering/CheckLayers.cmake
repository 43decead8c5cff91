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
# The names of the 8.3 world (platform/names) are reached from above through their ways in only:
# Decode's name model and a folder's rules, through the platform's interface, and the console's
# live names. No other of their headers is reached, directly or through a header of platform/.
set(namesWaysIn
    "core:NameModel.h FolderRules.h"
    "settings:NameModel.h FolderRules.h"
    "ui:NameModel.h FolderRules.h"
    "app:NameModel.h FolderRules.h"
    "tools/console:NameModel.h FolderRules.h LiveNames.h")

cmake_policy(VERSION 3.25) # if(... IN_LIST ...)

# The headers of platform/ that `file` includes, and those they include in turn.
function(platform_headers_reached file out)
    set(reached "")
    set(queue "${file}")
    while(queue)
        list(POP_FRONT queue current)
        get_filename_component(folder ${current} DIRECTORY)
        file(STRINGS ${current} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*" "\\1" name "${line}")
            if(name MATCHES "^platform/")
                set(header ${SOURCE_DIR}/${name})
            elseif(current MATCHES "/platform/" AND NOT name MATCHES "/")
                set(header ${folder}/${name})
            else()
                continue()
            endif()
            if(EXISTS ${header} AND NOT header IN_LIST reached)
                list(APPEND reached ${header})
                list(APPEND queue ${header})
            endif()
        endforeach()
    endwhile()
    set(${out} ${reached} PARENT_SCOPE)
endfunction()

set(found "")
foreach(layer ${layers})
    string(REPLACE ":" ";" parts "${layer}")
    list(GET parts 0 folder)
    list(GET parts 1 allowed)
    string(REPLACE " " ";" allowed "${allowed}")
    set(waysIn "")
    foreach(entry ${namesWaysIn})
        if(entry MATCHES "^${folder}:(.*)$")
            string(REPLACE " " ";" waysIn "${CMAKE_MATCH_1}")
        endif()
    endforeach()
    file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h)
    foreach(source ${sources})
        file(RELATIVE_PATH relative ${SOURCE_DIR} ${source})
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
                string(APPEND found "  ${relative}: ${line}\n")
            endif()
        endforeach()
        if(NOT folder STREQUAL "platform")
            platform_headers_reached(${source} headers)
            foreach(header ${headers})
                get_filename_component(name ${header} NAME)
                if(header MATCHES "/platform/names/" AND NOT name IN_LIST waysIn)
                    file(RELATIVE_PATH reached ${SOURCE_DIR} ${header})
                    string(APPEND found "  ${relative}: reaches ${reached}\n")
                endif()
            endforeach()
        endif()
    endforeach()
endforeach()
if(found)
    message(FATAL_ERROR "Includes that run against the layers:\n${found}")
endif()
