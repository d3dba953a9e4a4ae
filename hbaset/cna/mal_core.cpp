// NEXA access layer: start and end of the connection, the wrappers around the
// NEXA entry points and the enumeration of node instances.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/bounded_text.h"
#include "common/tracelog/tracelog.h"
#include "hbaset/cna/mal.h"
#include "hbaset/cna/nexa.h"

namespace {

// Connection state of the process: set by a successful NEXA_init, cleared by
// MAL_NEXA_exit.
bool g_nexaOpen = false;

// Trace text of one wrapper call, formatted outside the lock and written once.
struct TraceText {
    bool on;
    char text[2048];
    size_t len;
};

void traceBegin(TraceText* t) {
    t->on = traceGroupEnabled(TRACE_GROUP_NEXA);
    t->text[0] = '\0';
    t->len = 0;
}

__attribute__((format(printf, 2, 3))) void traceAdd(TraceText* t, const char* format, ...) {
    if (!t->on || t->len >= sizeof(t->text) - 1) return;
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(t->text + t->len, sizeof(t->text) - t->len, format, ap);
    va_end(ap);
    if (n < 0) return;
    t->len += static_cast<size_t>(n);
    if (t->len > sizeof(t->text) - 1) t->len = sizeof(t->text) - 1;
}

void traceEnd(const TraceText* t) {
    if (t->on && t->len > 0) trace("%s", t->text);
}

// 14 means the service cannot serve the request now; every other failure is
// a plain NEXA error.
int mapStatus(int nexaStatus) {
    if (nexaStatus == NEXA_OK) return MAL_RM_OK;
    return nexaStatus == NEXA_BUSY ? MAL_RM_BUSY : MAL_RM_NEXA_ERROR;
}

// After a failed call the last status is queried once, for the trace only.
void traceLastStatus() {
    int code = 0;
    char text[MAL_STATUS_TEXT_SIZE];
    (void)get_last_status(&code, text);
}

// Parameter k of an action block, bounded by its 256-byte slot.
const char* paramAt(const char* params, int k) {
    return params + k * MAL_PARAM_SIZE;
}

void traceParams(TraceText* t, const char* params) {
    for (int k = 0; k < 5; k++) {
        const char* p = paramAt(params, k);
        if (p[0] != '\0') traceAdd(t, "  params[%d]: %.*s\n", k, MAL_PARAM_SIZE - 1, p);
    }
}

} // namespace

void malCopyText(char* dest, size_t size, const char* src) {
    (void)copyBounded(dest, size, src);
}

// ---- wrappers ------------------------------------------------------------------

int get_node_tag(int parent, const char* name, int* tag, int kind) {
    if (name == nullptr || tag == nullptr) return MAL_RM_NULL_ARG;
    TraceText t;
    traceBegin(&t);
    traceAdd(&t, "get_node_tag:     parent=%d, name=%s, type=%d: ", parent, name, kind);
    malLock();
    int st = NEXA_get_node_tag(parent, name, tag, kind);
    malUnlock();
    if (st == NEXA_OK) {
        traceAdd(&t, "tag=%d\n", *tag);
    } else {
        traceAdd(&t, "ERROR: status=%d\n", st);
    }
    traceEnd(&t);
    if (st == NEXA_OK) return MAL_RM_OK;
    traceLastStatus();
    return mapStatus(st);
}

int get_property_val(int parent, int prop, char* text, int size) {
    if (text == nullptr || size <= 0) return MAL_RM_NULL_ARG;
    TraceText t;
    traceBegin(&t);
    traceAdd(&t, "get_property_val: parent=%d, tag=%d:  ", parent, prop);
    text[0] = '\0';
    malLock();
    int st = NEXA_get_property_val(parent, prop, text, size);
    malUnlock();
    text[size - 1] = '\0';
    if (st == NEXA_OK) {
        traceAdd(&t, "val=%s\n", text);
    } else {
        traceAdd(&t, "ERROR: status=%d\n", st);
    }
    traceEnd(&t);
    if (st == NEXA_OK) return MAL_RM_OK;
    traceLastStatus();
    return mapStatus(st);
}

int set_property_val(int parent, int prop, const char* text, int len) {
    if (text == nullptr || len < 0) return MAL_RM_NULL_ARG;
    TraceText t;
    traceBegin(&t);
    traceAdd(&t, "set_property_val: parent=%d, tag=%d, val=%.*s, len=%d:  ", parent, prop, len,
             text, len);
    malLock();
    int st = NEXA_set_property_val(parent, prop, text, len);
    malUnlock();
    if (st == NEXA_OK) {
        traceAdd(&t, "OK\n");
    } else {
        traceAdd(&t, "ERROR: status=%d\n", st);
    }
    traceEnd(&t);
    if (st == NEXA_OK) return MAL_RM_OK;
    traceLastStatus();
    return mapStatus(st);
}

int get_valid_inst(int parent, const char* cls, int* inst, int* count) {
    if (cls == nullptr || inst == nullptr || count == nullptr) return MAL_RM_NULL_ARG;
    int capacity = *count;
    if (capacity < 0) capacity = 0;
    TraceText t;
    traceBegin(&t);
    traceAdd(&t, "get_valid_inst:   parent=%d, name=%s:  ", parent, cls);
    int n = capacity;
    malLock();
    int st = NEXA_get_valid_instances(parent, cls, inst, &n);
    malUnlock();
    // Never report more instances than the array holds.
    if (n < 0) n = 0;
    if (n > capacity) n = capacity;
    if (st == NEXA_OK) {
        traceAdd(&t, "count=%d\n", n);
    } else {
        traceAdd(&t, "ERROR: status=%d\n", st);
    }
    traceEnd(&t);
    if (st != NEXA_OK) {
        *count = 0;
        traceLastStatus();
        return mapStatus(st);
    }
    *count = n;
    return MAL_RM_OK;
}

int do_action(int parent, int action, char* params, char* output, bool passThrough) {
    if (params == nullptr || output == nullptr) return MAL_RM_NULL_ARG;
    TraceText t;
    traceBegin(&t);
    traceAdd(&t, "do_action:        parent=%d, action=%d:  \n", parent, action);
    traceParams(&t, params);
    malLock();
    int st = NEXA_do_action(parent, action, params, output);
    malUnlock();
    if (st == NEXA_OK) {
        traceAdd(&t, "OK\n");
    } else {
        traceAdd(&t, "ERROR: status=%d\n", st);
    }
    traceEnd(&t);
    if (st == NEXA_OK) return MAL_RM_OK;
    traceLastStatus();
    if (st == NEXA_BUSY) return MAL_RM_BUSY;
    return passThrough ? st : MAL_RM_NEXA_ERROR;
}

int do_action_with_status(int parent, int action, char* params, char* output, int* statusCode,
                          char* statusText) {
    if (params == nullptr || output == nullptr || statusCode == nullptr || statusText == nullptr) {
        return MAL_RM_NULL_ARG;
    }
    TraceText t;
    traceBegin(&t);
    traceAdd(&t, "do_action_with_status:        parent=%d, action=%d:  \n", parent, action);
    traceParams(&t, params);
    memset(statusText, 0, MAL_STATUS_TEXT_SIZE);
    int code = 0;
    malLock();
    int st = NEXA_do_action(parent, action, params, output);
    int stStatus = NEXA_get_last_status(&code, statusText);
    malUnlock();
    statusText[MAL_STATUS_TEXT_SIZE - 1] = '\0';
    if (stStatus != NEXA_OK) code = -1;
    *statusCode = code;
    if (st == NEXA_OK) {
        traceAdd(&t, "  NEXA_do_action: OK\n");
    } else {
        traceAdd(&t, "  NEXA_do_action: ERROR: status=%d\n", st);
    }
    if (stStatus == NEXA_OK) {
        traceAdd(&t, "  NEXA_get_last_status: OK\n");
    } else {
        traceAdd(&t, "  NEXA_get_last_status: ERROR: status=%d\n", stStatus);
    }
    traceAdd(&t, "  status_code = %d\n", code);
    traceAdd(&t, "  status_string = %s\n", statusText);
    traceEnd(&t);
    if (st == NEXA_OK) return MAL_RM_OK;
    return st == NEXA_BUSY ? MAL_RM_BUSY : st;
}

int get_last_status(int* code, char* text) {
    if (code == nullptr || text == nullptr) return MAL_RM_NULL_ARG;
    TraceText t;
    traceBegin(&t);
    traceAdd(&t, "get_last_status: ");
    memset(text, 0, MAL_STATUS_TEXT_SIZE);
    malLock();
    int st = NEXA_get_last_status(code, text);
    malUnlock();
    text[MAL_STATUS_TEXT_SIZE - 1] = '\0';
    if (st == NEXA_OK) {
        traceAdd(&t, "string=%s\n", text);
    } else {
        traceAdd(&t, "ERROR: status=%d\n", st);
    }
    traceEnd(&t);
    return st;
}

// ---- start and end -----------------------------------------------------------------

int MAL_NEXA_init(char* serviceVersion, size_t serviceSize, char* hierarchyVersion,
                  size_t hierarchySize) {
    malLockInit();
    malLock();
    int st = NEXA_init();
    malUnlock();
    if (traceGroupEnabled(TRACE_GROUP_NEXA)) {
        if (st == NEXA_OK) {
            trace("MAL_NEXA_init:\nOK\n");
        } else {
            trace("MAL_NEXA_init:\nERROR: NEXA_init: status=%d\n", st);
        }
    }
    if (st != NEXA_OK) return mapStatus(st);
    g_nexaOpen = true;

    static const char* const kNames[2] = {"NEXAServiceVersion", "NEXAHierarchyVersion"};
    char values[2][MAL_VALUE_SIZE] = {};
    for (int k = 0; k < 2; k++) {
        int tag = 0;
        int rc = get_node_tag(NEXA_ROOT_TAG, kNames[k], &tag, NEXA_KIND_PROPERTY);
        if (rc != MAL_RM_OK) return rc;
        rc = get_property_val(NEXA_ROOT_TAG, tag, values[k], MAL_VALUE_SIZE);
        if (rc != MAL_RM_OK) return rc;
    }
    malCopyText(serviceVersion, serviceSize, values[0]);
    malCopyText(hierarchyVersion, hierarchySize, values[1]);
    return MAL_RM_OK;
}

void MAL_NEXA_exit() {
    if (!g_nexaOpen) return;
    malLock();
    (void)NEXA_exit();
    malUnlock();
    g_nexaOpen = false;
}

bool MAL_NEXA_is_open() {
    return g_nexaOpen;
}

// ---- enumeration --------------------------------------------------------------------

namespace {

// Instances of cls under parent, each turned into the tag of the node named
// "<cls><number>". The first failure ends the walk; *count then holds the tags
// converted so far.
int enumerateInstances(int parent, const char* cls, int* count, int* tags) {
    if (count == nullptr || tags == nullptr) return MAL_RM_NULL_ARG;
    int capacity = *count;
    if (capacity < MAL_MAX_INSTANCES) {
        *count = 0;
        return MAL_RM_SMALL_ARRAY;
    }
    // NEXA fills at most MAL_MAX_INSTANCES numbers, whatever room is beyond.
    int n = MAL_MAX_INSTANCES;
    int rc = get_valid_inst(parent, cls, tags, &n);
    if (rc != MAL_RM_OK) {
        *count = 0;
        return rc;
    }
    for (int k = 0; k < n; k++) {
        char name[MAL_VALUE_SIZE];
        snprintf(name, sizeof(name), "%s%d", cls, tags[k]);
        int tag = 0;
        rc = get_node_tag(parent, name, &tag, NEXA_KIND_NODE);
        if (rc != MAL_RM_OK) {
            *count = k;
            return rc;
        }
        tags[k] = tag;
    }
    *count = n;
    return MAL_RM_OK;
}

} // namespace

int MAL_EnumerateControllers(int* count, int* tags) {
    return enumerateInstances(NEXA_ROOT_TAG, "Corevane", count, tags);
}

int MAL_EnumeratePhysicalHBAs(int controller, int kind, int* count, int* tags) {
    static const char* const kClasses[] = {"PortDiscoveryAndConfiguration", "NICPhysicalHBA",
                                           "iSCSIPhysicalHBA", "LogicalHBA"};
    if (kind < MAL_HBA_PORT || kind > MAL_HBA_LOGICAL) {
        if (count != nullptr) *count = 0;
        return MAL_RM_BAD_KIND;
    }
    return enumerateInstances(controller, kClasses[kind], count, tags);
}

int EnumeratePMPorts(int controller, const char* portNodeName, int* count, int* tags) {
    if (portNodeName == nullptr || count == nullptr || tags == nullptr) return MAL_RM_NULL_ARG;
    if (*count < MAL_MAX_INSTANCES) {
        *count = 0;
        return MAL_RM_SMALL_ARRAY;
    }
    int pm = 0;
    int rc = get_node_tag(controller, "ProfileManagement", &pm, NEXA_KIND_NODE);
    int node = 0;
    if (rc == MAL_RM_OK) rc = get_node_tag(pm, portNodeName, &node, NEXA_KIND_NODE);
    if (rc != MAL_RM_OK) {
        *count = 0;
        return rc;
    }
    return enumerateInstances(node, "Port", count, tags);
}

int MAL_EnumerateFunctions(int port, int* count, int* tags) {
    return enumerateInstances(port, "Function", count, tags);
}

int malChildNode(int parent, const char* name, int* tag) {
    return get_node_tag(parent, name, tag, NEXA_KIND_NODE);
}
