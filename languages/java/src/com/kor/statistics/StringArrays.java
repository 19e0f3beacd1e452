package com.kor.statistics;

import com.sun.jna.Pointer;
import java.util.ArrayList;
import java.util.List;

/** Caller-owned results of the library, read and then given back to its release function. */
final class StringArrays {
    private StringArrays() {}

    interface Release {
        int free(Pointer texts, int count);
    }

    /** The texts of a {@code char**} array, released whatever happens. */
    static List<String> take(long[] slot, int count, Release release) {
        Pointer array = Api.pointer(slot);
        List<String> texts = new ArrayList<>(Math.max(count, 0));
        if (array == null || count <= 0) return texts;
        try {
            for (int i = 0; i < count; ++i) texts.add(Api.string(array.getPointer(8L * i)));
        } finally {
            release.free(array, count);
        }
        return texts;
    }

    /** The texts of a string list handle, removed whatever happens. */
    static List<String> takeList(Pointer list) {
        List<String> texts = new ArrayList<>();
        if (list == null) return texts;
        try {
            int count = Api.GetStringListLength(list);
            for (int i = 0; i < count; ++i) texts.add(Api.string(Api.GetStringFromList(list, i)));
        } finally {
            Api.RemoveStringList(list);
        }
        return texts;
    }
}
