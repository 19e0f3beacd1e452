package com.kor.statistics;

import com.sun.jna.Native;
import com.sun.jna.NativeLibrary;
import com.sun.jna.Pointer;
import java.io.File;
import java.net.URISyntaxException;
import java.nio.charset.StandardCharsets;
import java.security.CodeSource;

/**
 * The library's exported functions, bound by JNA direct mapping, with the text conventions of
 * the binding: texts go out as zero-terminated UTF-8 bytes, come back as addresses read as
 * UTF-8, and C {@code bool} travels as a byte. An output pointer ({@code char**}, {@code
 * void**}) is a one-element {@code long[]}: the platform is 64-bit.
 *
 * <p>The functions are looked up through the binding's native helper, {@code libvexajava.so},
 * which is linked to {@code libvexaxd_p.so}: a lookup in the helper also searches the library
 * it loaded, so both always share one copy of the library and its state. The helper is
 * {@code -Dvexa.native=<path>}, else {@code VEXA_JAVA_NATIVE}, else {@code libvexajava.so}
 * beside the jar this class came from.
 */
final class Api {
    static final String NATIVE_PROPERTY = "vexa.native";
    static final String NATIVE_VARIABLE = "VEXA_JAVA_NATIVE";

    static {
        if (Native.POINTER_SIZE != 8) throw new UnsupportedOperationException("64-bit only");
        Native.register(Api.class, NativeLibrary.getInstance(helperPath()));
    }

    private Api() {}

    static String helperPath() {
        String path = System.getProperty(NATIVE_PROPERTY);
        if (path == null || path.isEmpty()) path = System.getenv(NATIVE_VARIABLE);
        if (path != null && !path.isEmpty()) return path;
        CodeSource source = Api.class.getProtectionDomain().getCodeSource();
        if (source == null || source.getLocation() == null) return "libvexajava.so";
        try {
            File jar = new File(source.getLocation().toURI());
            return new File(jar.getParentFile(), "libvexajava.so").getPath();
        } catch (URISyntaxException | IllegalArgumentException e) {
            return "libvexajava.so";
        }
    }

    /** Zero-terminated UTF-8; null stays null (the library then adds no value). */
    static byte[] z(String text) {
        if (text == null) return null;
        byte[] bytes = text.getBytes(StandardCharsets.UTF_8);
        byte[] terminated = new byte[bytes.length + 1];
        System.arraycopy(bytes, 0, terminated, 0, bytes.length);
        return terminated;
    }

    static byte[] utf8(String text) {
        return text.getBytes(StandardCharsets.UTF_8);
    }

    static String string(Pointer text) {
        return text == null ? null : text.getString(0, "UTF-8");
    }

    static byte flag(boolean value) {
        return (byte) (value ? 1 : 0);
    }

    static Pointer pointer(long[] slot) {
        return slot[0] == 0 ? null : new Pointer(slot[0]);
    }

    // The binding's native helper.
    static native int VexaJavaJoinEngine(byte[] temp, byte[] pidText, byte[] language, byte[] home);
    static native int VexaJavaReadBlock(int[] indexes, int[] widths, int columns, int capacity,
            int userMissingAsNaN, Pointer numbers, Pointer texts, Pointer missing, int[] rows);

    // Start, stop, submission and output.
    static native int StartVexa(byte[] arguments);
    static native void StopVexa();
    static native byte IsBackendReady();
    static native byte IsXDriven();
    static native int Submit(byte[] text, int length);
    static native int PostVexaOutput(byte[] text, int length);
    static native int GetSystemMissingValue(double[] value);

    // Releases.
    static native int FreeString(Pointer text);
    static native int FreeStringArray(Pointer texts, int count);
    static native int FreeAttributes(Pointer texts, int count);
    static native int FreeAttributeNames(Pointer texts, int count);
    static native int FreeNValueLabels(Pointer values, Pointer labels, int count);
    static native int FreeCValueLabels(Pointer values, Pointer labels, int count);
    static native int GetStringListLength(Pointer list);
    static native Pointer GetStringFromList(Pointer list, int index);
    static native void RemoveStringList(Pointer list);

    // The active dataset's dictionary.
    static native int GetVariableCount(int[] err);
    static native int GetRowCount(int[] err);
    static native Pointer GetVariableName(int index, int[] err);
    static native Pointer GetVariableLabel(int index, int[] err);
    static native int GetVariableType(int index, int[] err);
    static native Pointer GetVariableFormat(int index, int[] err);
    static native int GetVariableMeasurementLevel(int index, int[] err);
    static native int GetVariableRole(int index, int[] err);
    static native int GetVarNMissingValues(int index, int[] format, double[] v1, double[] v2, double[] v3);
    static native int GetVarCMissingValues(int index, int[] format, byte[] v1, byte[] v2, byte[] v3);
    static native int GetNValueLabels(int index, long[] values, long[] labels, int[] count);
    static native int GetCValueLabels(int index, long[] values, long[] labels, int[] count);
    static native int GetVarAttributeNames(int index, long[] names, int[] count);
    static native int GetVarAttributes(int index, byte[] name, long[] values, int[] count);
    static native Pointer GetWeightVar(int[] err);

    // Procedures, pivot tables and text blocks.
    static native int StartProcedure(byte[] name, byte[] identifier);
    static native int EndProcedure();
    static native int HasProcedure();
    static native int StartPivotTable(byte[] outline, byte[] title, byte[] subtype, byte flag);
    static native int PivotTableCaption(byte[] outline, byte[] title, byte[] subtype, byte flag, byte[] caption);
    static native int AddDimension(byte[] outline, byte[] title, byte[] subtype, byte flag,
            byte[] dimension, int place, int position, byte hideName, byte hideLabels);
    static native int AddStringCategory(byte[] outline, byte[] title, byte[] subtype, byte flag,
            byte[] dimension, int place, int position, byte hideName, byte hideLabels, byte[] value);
    static native int AddNumberCategory(byte[] outline, byte[] title, byte[] subtype, byte flag,
            byte[] dimension, int place, int position, byte hideName, byte hideLabels, double value);
    static native int AddVarNameCategory(byte[] outline, byte[] title, byte[] subtype, byte flag,
            byte[] dimension, int place, int position, byte hideName, byte hideLabels, int variable);
    static native int SetNumberCell(byte[] outline, byte[] title, byte[] subtype, byte flag,
            byte[] dimension, int place, int position, byte hideName, byte hideLabels, double value);
    static native int SetStringCell(byte[] outline, byte[] title, byte[] subtype, byte flag,
            byte[] dimension, int place, int position, byte hideName, byte hideLabels, byte[] value);
    static native int SetVarNameCell(byte[] outline, byte[] title, byte[] subtype, byte flag,
            byte[] dimension, int place, int position, byte hideName, byte hideLabels, int variable);
    static native int SetFormatSpecCount();
    static native int SetFormatSpecGeneralStat();
    static native int SetFormatSpecPercent();
    static native int SetFormatSpecMean(int variable);
    static native int AddTextBlock(byte[] outline, byte[] title, byte[] text, int linesBefore);

    // Case cursors.
    static native int MakeCaseCursor(byte[] access);
    static native int NextCase();
    static native int GetNumericValue(int index, double[] value, int[] missing);
    static native int GetStringValue(int index, long[] buffer, int length, int[] missing);
    static native int GetCursorPosition(int[] position);
    static native int RemoveCaseCursor();
    static native int ResetDataPass();
    static native int SetOneVarNameAndType(byte[] name, int type);
    static native int SetVarLabel(byte[] name, byte[] label);
    static native int SetVarNValueLabel(byte[] name, double value, byte[] label);
    static native int SetVarCValueLabel(byte[] name, byte[] value, byte[] label);
    static native int SetVarNMissingValues(byte[] name, int format, double v1, double v2, double v3);
    static native int SetVarCMissingValues(byte[] name, int format, byte[] v1, byte[] v2, byte[] v3);
    static native int SetVarMeasureLevel(byte[] name, int level);
    static native int SetVarRole(byte[] name, int role);
    static native int SetVarFormat(byte[] name, int formatType, int width, int decimals);
    static native int SetVarAttributes(byte[] name, byte[] attribute, byte[] value, int position);
    static native int CommitHeader();
    static native int EndChanges();
    static native int SetValueNumeric(byte[] name, double value);
    static native int SetValueChar(byte[] name, byte[] value, int length);
    static native int CommitCaseRecord();
    static native int CommitNewCase();

    // Named datasets and the data step.
    static native int CreateDataset(byte[] name, byte first, byte second);
    static native int CopyDataset(byte[] source, byte[] target);
    static native int CloseDataset(byte[] name);
    static native int SetDatasetName(byte[] name, byte[] newName);
    static native int SetActive(byte[] name);
    static native Pointer GetActive(int[] err);
    static native int GetVexaDatasets(long[] names, int[] count);
    static native int InsertCase(byte[] dataset, int row);
    static native int InsertVariable(byte[] dataset, int position, byte[] name, int type);
    static native int SetNCellValue(byte[] dataset, int row, int variable, double value);
    static native int SetCCellValue(byte[] dataset, int row, int variable, byte[] value);
    static native int CommitDataSet();
    static native double GetNCellValue(byte[] dataset, int row, int variable, int[] missing, int[] err);
    static native Pointer GetCCellValue(byte[] dataset, int row, int variable, int[] missing, int[] err);
    static native int GetVarCountInDS(byte[] dataset, int[] err);
    static native int GetCaseCountInDS(byte[] dataset, int[] err);
    static native int GetVarTypeInDS(byte[] dataset, int variable, int[] err);
    static native Pointer GetVarNameInDS(byte[] dataset, int variable, int[] err);
    static native int StartDataStep();
    static native int EndDataStep();

    // XPath over the output documents.
    static native int CreateXPathDictionary(byte[] handle);
    static native int RemoveXPathHandle(byte[] handle);
    static native Pointer EvaluateXPath(byte[] handle, byte[] context, byte[] expression, int[] err);
    static native Pointer GetHandleList(int[] err);
}
