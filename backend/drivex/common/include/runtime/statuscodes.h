/* Every status code the library itself produces. Engine, language-library and
 * platform (errno) codes pass through unchanged and are not listed here.
 * Valid C99 and C++: the installed API header carries this list. */
#ifndef VEXA_RUNTIME_STATUSCODES_H
#define VEXA_RUNTIME_STATUSCODES_H

enum VexaStatus {
    VEXA_OK = 0,
    VEXA_NOT_INITIALISED = 1,        /* process-wide state not initialised */
    VEXA_VARIABLE_OUT_OF_RANGE = 10, /* case cell index beyond the variables */
    VEXA_ENGINE_NOT_RUNNING = 17,    /* nothing was sent */
    VEXA_CURSOR_WRONG_TYPE = 24,     /* cursor read of a variable of the other type */
    VEXA_DATASTEP_NOT_NUMERIC = 56,  /* data-step cell is not numeric */
    VEXA_DATASTEP_NOT_STRING = 57,   /* data-step cell is not a string */
    VEXA_DATASET_NOT_OPEN = 87,      /* cell write to a dataset not created here */
    VEXA_NO_STEP_OPEN = 89,          /* cell write outside a data step or procedure */
    VEXA_ACTIVE_ANSWERED = 93,       /* GetActive's engine answer that still names a dataset */
    VEXA_ROW_OUT_OF_RANGE = 97,      /* cell write past the dataset's cases */
    VEXA_NO_CACHE_DATA = 1900,       /* cursor block used up */
    VEXA_EMPTY_READ = 99103,         /* a read returned no bytes */
    VEXA_PIPE_FAILED = 99104,        /* a named-pipe operation failed */
    VEXA_MALFORMED_MESSAGE = 99105,  /* a received image is malformed or lacks a value */
    VEXA_PIPE_WITHOUT_NAME = 99106,  /* empty pipe name, or a name too long for the platform */
    VEXA_PROCESS_START_FAILED = 99107,
    VEXA_BAD_ARGUMENT = 99108,         /* a caller argument the call cannot use */
    VEXA_LANGUAGE_LOAD_FAILED = 99114, /* language library or a required entry point missing */
    VEXA_LANGUAGE_NOT_INITIALISED = 99115,
    VEXA_DRIVER_THREAD_FAILED = 99116,
    VEXA_LANGUAGE_LIB_NAME_EMPTY = 99118,
    VEXA_UNKNOWN_COMMAND_KEY = 99119,
    VEXA_UNSUPPORTED_LANGUAGE = 99120,
    VEXA_SOCKET_ACCEPT_FAILED = 99121,
    VEXA_SOCKET_FAILED = 99122,
    VEXA_JAVA_PROCESS_GONE = 99123,
    VEXA_INTERNAL_FAULT =
        99124, /* a fault of the library itself, such as an unexpected exception */
    VEXA_BLOCK_SKIPPED = 999988
};

#endif
