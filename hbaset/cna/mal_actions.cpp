// NEXA actions and property writes of the converged-adapter commands: the
// personality node, the NIC function's network boot settings, the
// controller's FFV name, ARM log and factory defaults, the diagnostics node
// and the profile view read by the duplicate MAC check.
#include <cstdio>
#include <cstring>
#include <iterator>

#include "common/bounded_text.h"
#include "hbaset/cna/mal_ops.h"
#include "hbaset/cna/nexa.h"

namespace {

// One action's parameter block and output area, zero-filled.
struct ActionArea {
    char params[MAL_PARAMS_SIZE];
    char output[MAL_ACTION_OUTPUT_SIZE];
};

// Tag of the object node name under parent; a null name is parent itself.
int nodeOf(int parent, const char* name, int* tag) {
    if (name == nullptr) {
        *tag = parent;
        return MAL_RM_OK;
    }
    return malChildNode(parent, name, tag);
}

// Tags of the node and of its property or action (kind 2 or 3).
int memberOf(int parent, const char* nodeName, const char* member, int kind, int* node, int* tag) {
    int rc = nodeOf(parent, nodeName, node);
    if (rc != MAL_RM_OK) return rc;
    return get_node_tag(*node, member, tag, kind);
}

// Fills the parameter block: params[k] = values[k], each cut to its slot.
void fillParams(ActionArea* area, const char* const* values, int count) {
    memset(area, 0, sizeof *area);
    for (int k = 0; k < count && k < MAL_PARAM_COUNT; k++) {
        if (values[k] != nullptr)
            copyBounded(area->params + k * MAL_PARAM_SIZE, MAL_PARAM_SIZE, values[k]);
    }
}

// Runs the action through do_action (failures other than busy give 114).
int runAction(int parent, const char* nodeName, const char* action, const char* const* values,
              int count) {
    int node = 0;
    int tag = 0;
    int rc = memberOf(parent, nodeName, action, NEXA_KIND_ACTION, &node, &tag);
    if (rc != MAL_RM_OK) return rc;
    ActionArea area;
    fillParams(&area, values, count);
    return do_action(node, tag, area.params, area.output, false);
}

// Runs the action with its last status. Returns 0 on success; otherwise the
// raw NEXA status (64 for busy) with *code the last-status code, or the
// action's own status when the status query failed.
int runActionWithCode(int parent, const char* nodeName, const char* action,
                      const char* const* values, int count, int* code) {
    *code = 0;
    int node = 0;
    int tag = 0;
    int rc = memberOf(parent, nodeName, action, NEXA_KIND_ACTION, &node, &tag);
    if (rc != MAL_RM_OK) return rc;
    ActionArea area;
    fillParams(&area, values, count);
    char text[MAL_STATUS_TEXT_SIZE];
    rc = do_action_with_status(node, tag, area.params, area.output, code, text);
    if (rc != MAL_RM_OK && *code == -1) *code = rc;
    return rc;
}

int setProperty(int parent, const char* nodeName, const char* property, const char* text) {
    int node = 0;
    int tag = 0;
    int rc = memberOf(parent, nodeName, property, NEXA_KIND_PROPERTY, &node, &tag);
    if (rc != MAL_RM_OK) return rc;
    return set_property_val(node, tag, text, static_cast<int>(strlen(text)));
}

// The code of the last status, -1 when it cannot be read.
int lastStatusCode() {
    int code = 0;
    char text[MAL_STATUS_TEXT_SIZE];
    return get_last_status(&code, text) == NEXA_OK ? code : -1;
}

// Splits the slash-separated list into out (empty pieces skipped, names cut
// to MAL_PERSONALITY_MAX characters, at most MAL_PERSONALITY_LIST_MAX kept).
void splitPersonalities(const char* list, MalPersonalityInfo* out) {
    out->availableCount = 0;
    const char* p = list;
    while (*p != '\0' && out->availableCount < MAL_PERSONALITY_LIST_MAX) {
        size_t n = strcspn(p, "/");
        if (n > 0) {
            char* dest = out->available[out->availableCount++];
            size_t keep = n < MAL_PERSONALITY_MAX ? n : MAL_PERSONALITY_MAX;
            memcpy(dest, p, keep);
            dest[keep] = '\0';
        }
        p += n;
        if (*p == '/') ++p;
    }
}

bool macIsAll(const uint8_t mac[6], uint8_t value) {
    for (int k = 0; k < 6; k++) {
        if (mac[k] != value) return false;
    }
    return true;
}

} // namespace

// ---- personalities -------------------------------------------------------------------------

int MAL_GetPersonalityInfo(int controller, MalPersonalityInfo* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    memset(out, 0, sizeof *out);
    int node = 0;
    int rc = malChildNode(controller, "Personality", &node);
    char current[MAL_VALUE_SIZE] = {};
    char available[MAL_VALUE_SIZE] = {};
    char configured[MAL_VALUE_SIZE] = {};
    const MalStringProp props[] = {
        {"CurrentPersonality", current, sizeof current},
        {"AvailablePersonalities", available, sizeof available},
        {"ConfiguredPersonality", configured, sizeof configured},
    };
    if (rc == MAL_RM_OK)
        rc = MAL_GetStringProperties(node, static_cast<int>(std::size(props)), props);
    if (rc != MAL_RM_OK) {
        if (rc == MAL_RM_BUSY) return rc;
        int code = lastStatusCode();
        if (code == NEXA_CODE_NO_AVAILABLE_PERS) return MAL_RM_NO_AVAILABLE_PERS;
        if (code == NEXA_CODE_NO_CONFIGURED_PERS) return MAL_RM_NO_CONFIGURED_PERS;
        return MAL_RM_NEXA_ERROR;
    }
    copyBounded(out->current, sizeof out->current, current);
    copyBounded(out->configured, sizeof out->configured, configured);
    splitPersonalities(available, out);
    return MAL_RM_OK;
}

int MAL_SetPersonality(int controller, const char* name) {
    if (name == nullptr) return MAL_RM_NULL_ARG;
    const char* values[] = {name};
    int code = 0;
    int rc = runActionWithCode(controller, "Personality", "SetPersonality", values, 1, &code);
    if (rc == MAL_RM_OK || rc == MAL_RM_BUSY) return rc;
    if (code == NEXA_CODE_INVALID_VALUE || code == NEXA_CODE_PERSONALITY_FIXED)
        return MAL_RM_PERSONALITY_CHANGE;
    return MAL_RM_NEXA_ERROR;
}

// ---- NIC function settings ---------------------------------------------------------------------

int MAL_SetVolatileMac(int function, const uint8_t mac[6]) {
    if (mac == nullptr) return MAL_RM_NULL_ARG;
    if (macIsAll(mac, 0) || macIsAll(mac, 0xFF)) return MAL_RM_INVALID_MAC;
    char text[18];
    snprintf(text, sizeof text, "%02x-%02x-%02x-%02x-%02x-%02x", mac[0], mac[1], mac[2], mac[3],
             mac[4], mac[5]);
    return setProperty(function, "NetworkBootConfiguration", "VolatileMACAddress", text);
}

int MAL_ConfigureVLAN(int function, uint32_t vlanId, uint32_t priority) {
    char id[12];
    char prio[12];
    snprintf(id, sizeof id, "%u", vlanId);
    snprintf(prio, sizeof prio, "%u", priority);
    const char* values[] = {id, prio};
    return runAction(function, "NetworkBootConfiguration", "ConfigureVLAN", values, 2);
}

int MAL_SetNetworkBoot(int function, bool enable, const char* method) {
    static const char kKeepMethod[] = "\xFF";
    bool haveMethod = method != nullptr && method[0] != '\0';
    const char* values[] = {enable ? "Enabled" : "Disabled", haveMethod ? method : kKeepMethod};
    return runAction(function, "NetworkBootConfiguration", "SetNetworkBoot", values, 2);
}

// ---- controller operations ---------------------------------------------------------------------

int MAL_SetFFVName(int controller, const char* text) {
    if (text == nullptr) return MAL_RM_NULL_ARG;
    return setProperty(controller, nullptr, "FFVName", text);
}

int MAL_RetrieveARMLog(int controller, const char* text1, const char* text2) {
    const char* values[] = {text1, text2};
    int code = 0;
    int rc = runActionWithCode(controller, "ExtFATData", "RetrieveARMLog", values, 2, &code);
    if (rc == MAL_RM_OK) return MAL_RM_OK;
    return code == NEXA_CODE_NO_EXT_FAT_DATA ? MAL_RM_NO_EXT_FAT_DATA : MAL_RM_ARM_LOG_FAILED;
}

int MAL_ResetFactoryDefaults(int controller) {
    static const char kNoParameter[] = "\xFF";
    const char* values[] = {kNoParameter};
    int code = 0;
    int rc = runActionWithCode(controller, nullptr, "ResetFactoryDefaults", values, 1, &code);
    if (rc == MAL_RM_OK) return MAL_RM_OK;
    // A failed action whose last status reads 0 (or cannot be read) keeps its
    // own status, so it never reads as success.
    return code != 0 && code != -1 ? code : rc;
}

// ---- diagnostics -------------------------------------------------------------------------------

int MAL_HostToDDRDMATest(int controller, const char* pattern, uint32_t bytes, uint32_t cycles) {
    char byteText[12];
    char cycleText[12];
    snprintf(byteText, sizeof byteText, "%u", bytes);
    snprintf(cycleText, sizeof cycleText, "%u", cycles);
    const char* values[] = {pattern, byteText, cycleText};
    return runAction(controller, "Diagnostics", "HostToDDRDMATest", values, 3);
}

int MAL_EnterLoopBackMode(int controller, uint32_t port, const char* typeName) {
    char portText[12];
    snprintf(portText, sizeof portText, "%u", port);
    const char* values[] = {portText, portText, typeName};
    return runAction(controller, "Diagnostics", "EnterLoopBackMode", values, 3);
}

int MAL_NetworkLoopBackTest(int controller, const char* pattern, uint32_t bytes, uint32_t cycles,
                            uint32_t port, const char* typeName) {
    char byteText[12];
    char cycleText[12];
    char portText[12];
    snprintf(byteText, sizeof byteText, "%u", bytes);
    snprintf(cycleText, sizeof cycleText, "%u", cycles);
    snprintf(portText, sizeof portText, "%u", port);
    const char* values[] = {pattern, byteText, cycleText, portText, portText, typeName};
    return runAction(controller, "Diagnostics", "NetworkLoopBackTest", values, 6);
}

int MAL_ExitLoopBackMode(int controller, uint32_t port) {
    char portText[12];
    snprintf(portText, sizeof portText, "%u", port);
    const char* values[] = {portText, portText};
    return runAction(controller, "Diagnostics", "ExitLoopBackMode", values, 2);
}

int MAL_GetTotalCompleteCycles(int controller, uint32_t* cycles) {
    if (cycles == nullptr) return MAL_RM_NULL_ARG;
    *cycles = 0;
    int node = 0;
    int rc = malChildNode(controller, "Diagnostics", &node);
    int32_t value = 0;
    const MalIntProp props[] = {{"TotalCompleteCycles", &value}};
    if (rc == MAL_RM_OK) rc = MAL_GetIntegerProperties(node, 1, props);
    if (rc == MAL_RM_OK && value > 0) *cycles = static_cast<uint32_t>(value);
    return rc;
}

// ---- profile view ------------------------------------------------------------------------------

int32_t malProtocolOf(const char* text) {
    // Protocol texts of the profile view; a new protocol is one more row.
    static const struct {
        const char* name;
        int32_t protocol;
    } kProtocols[] = {
        {"NIC", MAL_PROTOCOL_NIC},
        {"iSCSI", MAL_PROTOCOL_ISCSI},
        {"FCoE", MAL_PROTOCOL_FCOE},
        {"NIC+RoCE", MAL_PROTOCOL_NIC_ROCE},
    };
    for (const auto& p : kProtocols) {
        if (strncmp(text, p.name, 10) == 0) return p.protocol;
    }
    return MAL_PROTOCOL_OTHER;
}

int MAL_GetPMFunctionProfileSetting(int function, MalPmFunction* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    memset(out, 0, sizeof *out);
    char protocol[11] = {};
    const MalStringProp text[] = {{"Protocol", protocol, sizeof protocol}};
    const MalMacProp mac[] = {{"MACAddress", out->mac}};
    const MalHexProp number[] = {{"FunctionNumber", &out->functionNumber}};
    int rc = MAL_GetStringProperties(function, 1, text);
    if (rc == MAL_RM_OK) rc = MAL_GetMACProperties(function, 1, mac);
    if (rc == MAL_RM_OK) rc = MAL_GetHexProperties(function, 1, number);
    out->protocol = malProtocolOf(protocol);
    return rc;
}
