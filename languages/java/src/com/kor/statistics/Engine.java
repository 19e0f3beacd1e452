package com.kor.statistics;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * The connection to the statistics engine, for the length of a try-with-resources block.
 *
 * <pre>{@code
 * try (Engine engine = Engine.start(Engine.options("build/tools/engine").outputLog(log))) {
 *     for (Variable v : engine.variables()) System.out.println(v.name());
 * }
 * }</pre>
 *
 * <p>{@link #close()} stops the engine only when this object started it; an engine that already
 * ran (another part of the program, or the engine that runs this program's block) is left alone.
 * The library serves one call at a time per process, so an engine is used from one thread at a
 * time.
 */
public final class Engine implements AutoCloseable {
    /** Set by the engine for a Java extension program: its process id text (see {@link #joinBlock()}). */
    public static final String PIPES_VARIABLE = "VEXA_JAVA_PIPES";
    static final String EXTENSION_LANGUAGE = "JAVAEXTENSION";

    private boolean owner;

    private Engine(boolean owner) {
        this.owner = owner;
    }

    /** Options of {@link #start(Options)}. */
    public static Options options(String engineHome) {
        return new Options(engineHome);
    }

    /** Starts the engine of this home unless one runs already. */
    public static Engine start(String engineHome) throws VexaException {
        return start(options(engineHome));
    }

    public static Engine start(Options options) throws VexaException {
        if (isRunning()) return new Engine(false);
        VexaException.check(Api.StartVexa(Api.z(options.arguments())), "StartVexa");
        return new Engine(true);
    }

    /** The engine that already runs; {@link #close()} leaves it running. */
    public static Engine attach() throws VexaException {
        if (!isRunning()) throw new VexaException(17, "IsBackendReady");
        return new Engine(false);
    }

    /**
     * Inside a {@code JAVAEXTENSION} block: joins the pipes of the engine that started this
     * process. The engine names its process id text in {@value #PIPES_VARIABLE} and its temp
     * directory and home in {@code VEXADXTEMP} and {@code VEXA_HOME}; it serves the block's calls
     * on level 0 of the language's pipes until the program ends.
     */
    public static Engine joinBlock() throws VexaException {
        String pid = System.getenv(PIPES_VARIABLE);
        String temp = System.getenv("VEXADXTEMP");
        String home = System.getenv("VEXA_HOME");
        if (pid == null || pid.isEmpty() || temp == null || temp.isEmpty() || home == null || home.isEmpty()) {
            throw new VexaException(99108, "VexaJavaJoinEngine",
                    "not started by an engine for a JAVAEXTENSION block: " + PIPES_VARIABLE
                            + ", VEXADXTEMP or VEXA_HOME is not set");
        }
        VexaException.check(Api.VexaJavaJoinEngine(Api.z(temp), Api.z(pid), Api.z(EXTENSION_LANGUAGE),
                Api.z(home)), "VexaJavaJoinEngine");
        return new Engine(false);
    }

    /** True while an engine answers. */
    public static boolean isRunning() {
        return Api.IsBackendReady() != 0;
    }

    /** True when this object started the engine and will stop it. */
    public boolean owns() {
        return owner;
    }

    @Override
    public void close() {
        if (owner) {
            owner = false;
            Api.StopVexa();
        }
    }

    /** Submits command text; lines are joined by line feeds into one submission. */
    public void submit(String... lines) throws VexaException {
        byte[] text = Api.utf8(String.join("\n", lines));
        VexaException.check(Api.Submit(text, text.length), "Submit");
    }

    /** Adds text to the engine's output. */
    public void postOutput(String text) throws VexaException {
        byte[] bytes = Api.utf8(text);
        VexaException.check(Api.PostVexaOutput(bytes, bytes.length), "PostVexaOutput");
    }

    public double systemMissingValue() throws VexaException {
        double[] value = new double[1];
        VexaException.check(Api.GetSystemMissingValue(value), "GetSystemMissingValue");
        return value[0];
    }

    public int variableCount() throws VexaException {
        int[] err = new int[1];
        int count = Api.GetVariableCount(err);
        VexaException.check(err[0], "GetVariableCount");
        return count;
    }

    public int caseCount() throws VexaException {
        int[] err = new int[1];
        int count = Api.GetRowCount(err);
        VexaException.check(err[0], "GetRowCount");
        return count;
    }

    /** The active dataset's dictionary. */
    public List<Variable> variables() throws VexaException {
        int count = variableCount();
        List<Variable> variables = new ArrayList<>(count);
        for (int i = 0; i < count; ++i) variables.add(Variable.read(i));
        return variables;
    }

    public Variable variable(int index) throws VexaException {
        return Variable.read(index);
    }

    /** The weight variable's name, or null without one. */
    public String weightVariable() throws VexaException {
        int[] err = new int[1];
        String name = Api.string(Api.GetWeightVar(err));
        VexaException.check(err[0], "GetWeightVar");
        return name == null || name.isEmpty() ? null : name;
    }

    /** Opens a procedure; close it to file its output. */
    public Procedure procedure(String name) throws VexaException {
        return new Procedure(name, name);
    }

    public Procedure procedure(String name, String identifier) throws VexaException {
        return new Procedure(name, identifier);
    }

    /** A read cursor over these variables (all when none are named); user-missing values read as missing. */
    public ReadCursor readCursor(String... variables) throws VexaException {
        return new ReadCursor(variables, true);
    }

    /** A read cursor that reads user-missing values as missing or, when false, as the values they are. */
    public ReadCursor readCursor(List<String> variables, boolean userMissingAsMissing) throws VexaException {
        return new ReadCursor(variables.toArray(String[]::new), userMissingAsMissing);
    }

    public WriteCursor writeCursor(String... variables) throws VexaException {
        return new WriteCursor(variables);
    }

    public Dataset dataset(String name) {
        return new Dataset(name);
    }

    public Dataset activeDataset() throws VexaException {
        return Dataset.active();
    }

    public List<String> datasets() throws VexaException {
        return Dataset.names();
    }

    public Dataset createDataset(String name) throws VexaException {
        return Dataset.create(name);
    }

    public XPath xpath() {
        return new XPath();
    }

    /** The argument text of StartVexa, built from named options. */
    public static final class Options {
        private final String home;
        private final List<String> parts = new ArrayList<>();

        private Options(String home) {
            if (home == null || home.isEmpty() || home.contains(",")) {
                throw new IllegalArgumentException("the engine home must be non-empty and hold no comma: " + home);
            }
            this.home = home;
        }

        public Options outputLog(Path path) {
            return path("outputlog", path);
        }

        public Options outputHtml(Path path) {
            return path("outputhtml", path);
        }

        public Options outputXml(Path path) {
            return path("outputxml", path);
        }

        public Options dataFile(Path path) {
            return path("datafile", path);
        }

        /** Passed on as it is, after the named options. */
        public Options argument(String text) {
            parts.add(text);
            return this;
        }

        private Options path(String option, Path path) {
            String text = path.toString();
            // The engine cuts each option at the next blank.
            if (text.isEmpty() || text.chars().anyMatch(Character::isWhitespace)) {
                throw new IllegalArgumentException(option + ": the path must be non-empty and hold no blanks: " + text);
            }
            parts.add("-" + option + "=" + text);
            return this;
        }

        String arguments() {
            List<String> all = new ArrayList<>();
            all.add("-vexahome=" + home + ",");
            all.addAll(parts);
            return String.join(" ", all);
        }
    }
}
