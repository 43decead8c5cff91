# Fails naming each line of ui/ or app/ that includes a system header, calls the operating
# system at global scope or asks which system it is built for.
set(patterns
    "#[ \t]*include[ \t]*<(unistd|fcntl|dirent|pwd|grp|signal|spawn|dlfcn|termios|poll|libgen|glob|fnmatch|windows|shellapi|shlobj)\\.h>"
    "#[ \t]*include[ \t]*<sys/"
    # Names a widget has too (close(), open()) count when called at global scope only.
    "(^|[^A-Za-z0-9_])::(open|close|read|write|stat|access|rename|kill|system)[ \t]*\\("
    "(^|[^A-Za-z0-9_])(::|std::)?(lstat|unlink|mkdir|rmdir|chdir|getcwd|realpath|readlink|getuid|geteuid|fork|vfork|execv|execvp|execl|execlp|posix_spawn|waitpid|isatty|getenv|setenv|unsetenv|popen)[ \t]*\\("
    "(_WIN32|__linux__|__unix__|__APPLE__|Q_OS_[A-Z]+)")
file(GLOB_RECURSE sources ${SOURCE_DIR}/ui/*.cpp ${SOURCE_DIR}/ui/*.h ${SOURCE_DIR}/app/*.cpp
     ${SOURCE_DIR}/app/*.h)
set(found "")
foreach(source ${sources})
    file(STRINGS ${source} lines)
    set(number 0)
    foreach(line IN LISTS lines)
        math(EXPR number "${number} + 1")
        # Member calls (widget.close(), QWidget::close()) are Qt's, not the system's.
        string(REGEX REPLACE "[A-Za-z0-9_)>\\]]+(\\.|->|::)[A-Za-z_]+[ \t]*\\(" "" stripped "${line}")
        foreach(pattern ${patterns})
            if(stripped MATCHES "${pattern}")
                file(RELATIVE_PATH relative ${SOURCE_DIR} ${source})
                string(APPEND found "  ${relative}:${number}: ${line}\n")
                break()
            endif()
        endforeach()
    endforeach()
endforeach()
if(found)
    message(FATAL_ERROR "ui/ and app/ must leave the operating system to platform/:\n${found}")
endif()
message(STATUS "ui/ and app/ call no operating system directly")
