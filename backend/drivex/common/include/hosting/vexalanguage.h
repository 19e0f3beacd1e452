/* What a language library sees of this library when it is loaded in process:
 * the table of callbacks handed to its "setup_dxcallback" and the types of
 * the entry points it exports with C linkage. Valid C99 and C++.
 *
 * Entry points (required unless marked optional):
 *   void setup_dxcallback(VexaDxCallbacks* table);            optional
 *   int  init_embedded_x(int argc, char** argv);
 *   int  execute_x(const char* text);
 *   int  stop_embedded_x(void);
 *   void set_post_vexa_output(VexaPostOutputFn output);        optional
 *   int  pre_action(void);                                     0 lets the run go on
 *   int  post_action(void);
 *   void interrupt_x(void);                                    optional
 * interrupt_x may be called from any thread while execute_x runs: it asks the
 * running text to stop at its next chance (the engine's README, "Interrupting
 * a block"). The table stays valid for the life of the process. */
#ifndef VEXA_HOSTING_VEXALANGUAGE_H
#define VEXA_HOSTING_VEXALANGUAGE_H

#ifdef __cplusplus
extern "C" {
#endif

typedef int (*VexaPostOutputFn)(const char* text, int length);
typedef int (*VexaTextConverterFn)(const char* source, int sourceLength, char* destination,
                                   int destinationSize);

/* The line that follows the last line of every text fed through feedLine. */
#define VEXA_LINE_FEED_END_MARKER "*%#SYNTAX_F_I_N_#%*"

/* Sixteen entries in this order; the order is the contract. */
typedef struct VexaDxCallbacks {
    int (*appMode)(void);                              /* 0 */
    int (*isUtf8Mode)(void);                           /* 1 */
    const char* (*version)(void);                      /* 2: "VexadxVersion" */
    const char* (*tempDirectory)(void);                /* 3 */
    int (*nestingIndex)(void);                         /* 4: of this language's suite */
    void (*trace)(const char* text);                   /* 5 */
    int (*takeLine)(char* buffer, int size);           /* 6: 1 = line did not fit */
    int (*feedLine)(const char* text);                 /* 7: always 0 */
    int (*openConsole)(void);                          /* 8 */
    int (*closeConsole)(void);                         /* 9 */
    int (*writeConsole)(const char* text, int length); /* 10 */
    int (*readConsole)(char* buffer, int size);        /* 11 */
    void (*recordBrowserOutput)(const char* text, int length,
                                VexaTextConverterFn converter); /* 12 */
    int (*postOutput)(const char* text, int length);            /* 13 */
    void (*raiseSubmitDepth)(void);                             /* 14 */
    int (*lowerSubmitDepth)(void);                              /* 15: the new depth */
} VexaDxCallbacks;

typedef void (*VexaSetupDxCallbackFn)(VexaDxCallbacks* table);
typedef int (*VexaInitEmbeddedFn)(int argc, char** argv);
typedef int (*VexaExecuteFn)(const char* text);
typedef int (*VexaStatusFn)(void);
typedef void (*VexaSetPostOutputFn)(VexaPostOutputFn output);
typedef void (*VexaInterruptFn)(void);

#ifdef __cplusplus
}
#endif

#endif
