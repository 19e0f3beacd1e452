package com.kor.statistics;

import java.util.Map;

/** The message of each status code: the library's own, the engine's and the platform's. */
final class StatusMessages {
    private StatusMessages() {}

    private static final Map<Integer, String> LIBRARY = Map.ofEntries(
            Map.entry(1, "the library's process-wide state is not initialised"),
            Map.entry(10, "variable index outside the case's variables"),
            Map.entry(17, "the engine is not running; nothing was sent"),
            Map.entry(24, "a cursor read of a variable of the other type"),
            Map.entry(56, "the data-step cell is not numeric"),
            Map.entry(57, "the data-step cell is not a string"),
            Map.entry(87, "cell write to a dataset not created here"),
            Map.entry(89, "cell write outside a data step or procedure"),
            Map.entry(97, "cell write past the dataset's cases"),
            Map.entry(1900, "the cursor's cases are used up"),
            Map.entry(99103, "a read returned no bytes"),
            Map.entry(99104, "a pipe operation failed"),
            Map.entry(99105, "a received message is malformed or lacks a value the call reads"),
            Map.entry(99106, "a pipe without a name, or a name too long for a socket path"),
            Map.entry(99107, "a process could not be started"),
            Map.entry(99108, "an argument the call cannot use"),
            Map.entry(99114, "a language library or one of its required entry points is missing"),
            Map.entry(99115, "the language was not initialised"),
            Map.entry(99116, "a driver thread could not start"),
            Map.entry(99118, "the language's section has no LIB_NAME"),
            Map.entry(99119, "an unknown command key on the command channel"),
            Map.entry(99120, "a language the configuration does not name"),
            Map.entry(99121, "the Java extension socket could not accept"),
            Map.entry(99122, "a Java extension socket failure"),
            Map.entry(99123, "the Java process ended right after it connected"),
            Map.entry(99124, "a fault inside the library itself (an unexpected exception); please report it"),
            Map.entry(999988, "the Python host's pre action skipped the block"));

    private static final Map<Integer, String> ENGINE = Map.ofEntries(
            Map.entry(23, "no further case"),
            Map.entry(9001, "a command the engine does not answer"),
            Map.entry(9002, "the engine's data file or dictionary could not be read"),
            Map.entry(9003, "no variable at that position, or no set of that name"),
            Map.entry(9004, "no procedure is open"),
            Map.entry(9005, "a procedure is already open"),
            Map.entry(9007, "the output log cannot be opened"),
            Map.entry(9008, "a pivot table with this key already exists"),
            Map.entry(9009, "no pivot table with this key"),
            Map.entry(9010, "the table already has this dimension"),
            Map.entry(9011, "no dimension with this key"),
            Map.entry(9012, "a dimension place other than row, column or layer"),
            Map.entry(9013, "some dimension has no current category"),
            Map.entry(9017, "the output document cannot be written"),
            Map.entry(9020, "no XPath document under this handle"),
            Map.entry(9021, "an empty handle name"),
            Map.entry(9023, "the XPath expression does not compile or fails"),
            Map.entry(9024, "the context expression gives no node-set"),
            Map.entry(9040, "no case cursor is open"),
            Map.entry(9041, "a write on a read cursor"),
            Map.entry(9043, "the cursor is on no case"),
            Map.entry(9044, "a value of the other type than the variable's"),
            Map.entry(9045, "a count or length the request cannot use"),
            Map.entry(9046, "not a valid variable name"),
            Map.entry(9047, "the variable name is taken"),
            Map.entry(9048, "a variable type outside 0..32767"),
            Map.entry(9049, "new variables wait for CommitHeader"),
            Map.entry(9050, "new variables after CommitHeader"),
            Map.entry(9051, "a variable the command may not touch"),
            Map.entry(9052, "missing values the engine does not take"),
            Map.entry(9053, "a level, role, alignment, format or position the engine does not take"),
            Map.entry(9054, "a variable named twice"),
            Map.entry(9060, "no dataset of this name"),
            Map.entry(9061, "the dataset name is taken"),
            Map.entry(9062, "an empty dataset name, or \"*\", where a new name is needed"),
            Map.entry(9063, "the active dataset is in use by a procedure"),
            Map.entry(9064, "the active dataset cannot be closed"),
            Map.entry(9065, "a row outside the dataset's cases"),
            Map.entry(9066, "a data step or procedure is open"),
            Map.entry(9067, "no data step is open"),
            Map.entry(9068, "case data that does not fit the dataset"),
            Map.entry(9080, "a program block without its END PROGRAM line"),
            Map.entry(9081, "the engine hosts no languages"),
            Map.entry(9082, "a JAVAEXTENSION block that is not a command name and at most one line of text"),
            Map.entry(9083, "the Java extension program ended with a non-zero exit status"),
            Map.entry(9084, "a JAVAEXTENSION block while another one runs"),
            Map.entry(9085, "the program block was interrupted"),
            Map.entry(9090, "SAVE could not write the data file or its dictionary"),
            Map.entry(9091, "GET DATA or SAVE /TYPE=CSV needs /FILE='<path>' and no other subcommand"),
            Map.entry(9100, "a command the engine does not know"),
            Map.entry(9101, "a missing variable, or one the data does not have"),
            Map.entry(9102, "a keyword, value or expression the command does not take"),
            Map.entry(9103, "a string variable where a numeric one is needed"),
            Map.entry(9104, "only the program that started the engine may stop it"));

    static String describe(int code) {
        String text = LIBRARY.get(code);
        if (text == null) text = ENGINE.get(code);
        if (text != null) return text;
        // Platform codes are errno values (32: the partner is gone).
        if (code > 0 && code < 4096) return "system error " + code;
        return "status " + code;
    }
}
