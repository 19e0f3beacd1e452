package com.kor.statistics;

import java.util.List;

/** XPath queries over the output documents the engine keeps under handle names. */
public final class XPath {
    XPath() {}

    /** The results of an expression evaluated in a context of the document kept under the handle. */
    public List<String> evaluate(String handle, String context, String expression) throws VexaException {
        int[] err = new int[1];
        List<String> results = StringArrays.takeList(
                Api.EvaluateXPath(Api.z(handle), Api.z(context), Api.z(expression), err));
        VexaException.check(err[0], "EvaluateXPath");
        return results;
    }

    /** The handles of the documents the engine keeps. */
    public List<String> handles() throws VexaException {
        int[] err = new int[1];
        List<String> handles = StringArrays.takeList(Api.GetHandleList(err));
        VexaException.check(err[0], "GetHandleList");
        return handles;
    }

    /** Keeps the active dataset's dictionary as a document under the handle. */
    public void createDictionary(String handle) throws VexaException {
        VexaException.check(Api.CreateXPathDictionary(Api.z(handle)), "CreateXPathDictionary");
    }

    public void remove(String handle) throws VexaException {
        VexaException.check(Api.RemoveXPathHandle(Api.z(handle)), "RemoveXPathHandle");
    }
}
