/* Entry points of the NEXA management library (outside this system). It shows
 * converged adapters as a tree of nodes with text properties and named actions.
 * Every call returns 0 on success; 14 means the service cannot serve the
 * request now; other values are failures. */
#ifndef NEXA_H
#define NEXA_H

#ifdef __cplusplus
extern "C" {
#endif

#define NEXA_OK 0
#define NEXA_BUSY 14

#define NEXA_ROOT_TAG 0
#define NEXA_KIND_NODE 1
#define NEXA_KIND_PROPERTY 2
#define NEXA_KIND_ACTION 3

#define NEXA_VALUE_SIZE 256       /* property buffers */
#define NEXA_ACTION_PARAMS 6      /* do_action takes six parameters ... */
#define NEXA_ACTION_PARAM_SIZE 256 /* ... of 256 characters each, contiguous */
#define NEXA_ACTION_RESULT_SIZE 256
#define NEXA_STATUS_TEXT_SIZE 256  /* get_last_status writes at most 255 characters and a NUL */
#define NEXA_MAX_INSTANCES 1024

int NEXA_init(void);
int NEXA_exit(void);
int NEXA_get_node_tag(int parent, const char* name, int* tag, int kind);
int NEXA_get_property_val(int node, int prop, char* buf, int size);
int NEXA_set_property_val(int node, int prop, const char* val, int len);
/* count: capacity in, number of instances out. */
int NEXA_get_valid_instances(int parent, const char* cls, int* inst, int* count);
/* params: NEXA_ACTION_PARAMS x NEXA_ACTION_PARAM_SIZE characters; out: NEXA_ACTION_RESULT_SIZE. */
int NEXA_do_action(int node, int action, char* params, char* out);
/* text: at least NEXA_STATUS_TEXT_SIZE bytes. */
int NEXA_get_last_status(int* code, char* text);

#ifdef __cplusplus
}
#endif
#endif
