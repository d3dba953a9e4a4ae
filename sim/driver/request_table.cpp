// The simulated driver's request table: one row per control code it answers.
//
// The backend (backend.cpp) checks every envelope against its row before the
// handler runs: HeaderLength 28, the row's signature, Length == size - 28 and a
// buffer of at least minSize bytes (header included). A handler therefore may
// read and write r.payload[0 .. r.payloadSize) and nothing else; it returns 0
// with r.returnCode set, or a PLAT_ERR_* code to fail the device call.
//
// Rows with a null signature are management codes: plain device controls sent
// on the management device (or on the SCSI device when the management device
// is missing), without an envelope; minSize is then the smallest output buffer.
//
// How to add a request family: write its handlers in a file of its own
// (sim/driver/req_<family>.cpp), declare them in the block below, and append
// its rows to kDrvHandlers under a comment naming the family. The journal and
// the fault table use 'name' and the code ("0x%08X") to match requests.
#include "interfaces/tgx_ioctl.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

// ---- discovery (req_discovery.cpp) -----------------------------------------
uint32_t req_getdrv_info(DrvRequest& r);
uint32_t req_return_info(DrvRequest& r);
uint32_t req_adapter_attributes(DrvRequest& r);
uint32_t req_port_attributes(DrvRequest& r);
uint32_t req_refresh_information(DrvRequest& r);
uint32_t req_mgmt_start(DrvRequest& r);

// ---- mailbox transport forms (req_mailbox.cpp) -----------------------------
uint32_t req_issuemb(DrvRequest& r);
uint32_t req_issuemb_xmtrcv(DrvRequest& r);
uint32_t req_issuemb_eventlog(DrvRequest& r);
uint32_t req_issuemb_ex(DrvRequest& r);
uint32_t req_issuemb_v2(DrvRequest& r);
// ---- queries (req_query.cpp) -------------------------------------------------
uint32_t req_rw_ctlreg(DrvRequest& r);
uint32_t req_read_slim(DrvRequest& r);
uint32_t req_write_slim(DrvRequest& r);
uint32_t req_get_vpd(DrvRequest& r);
uint32_t req_get_linkinfo(DrvRequest& r);
uint32_t req_trunk_info(DrvRequest& r);
// ---- reset, dump, loopback, bridge (req_reset.cpp) ---------------------------
uint32_t req_reset_adapter(DrvRequest& r);
uint32_t req_set_dumpenv(DrvRequest& r);
uint32_t req_getdrvdump_region(DrvRequest& r);
uint32_t req_loopback_test(DrvRequest& r);
uint32_t req_tamber_issuemb(DrvRequest& r);
uint32_t req_get_ct_info(DrvRequest& r);
// ---- driver parameters (req_registry.cpp) ------------------------------------
uint32_t req_issue_parse(DrvRequest& r);
// ---- NPIV virtual ports (req_npiv.cpp) ---------------------------------------
uint32_t req_npiv_create(DrvRequest& r);
uint32_t req_npiv_delete(DrvRequest& r);
uint32_t req_npiv_query(DrvRequest& r);
uint32_t req_npiv_portattrib(DrvRequest& r);
uint32_t req_npiv_getlist(DrvRequest& r);
uint32_t req_npiv_resource(DrvRequest& r);
uint32_t req_npiv_setupstats(DrvRequest& r);
uint32_t req_npiv_getstats(DrvRequest& r);
uint32_t req_vpi_lookup(DrvRequest& r);
// ---- authentication (req_auth.cpp) ---------------------------------------------
uint32_t req_auth_config(DrvRequest& r);
uint32_t req_auth_passwd(DrvRequest& r);
uint32_t req_auth_start(DrvRequest& r);
uint32_t req_auth_enable(DrvRequest& r);
uint32_t req_auth_status(DrvRequest& r);
uint32_t req_auth_config_v2(DrvRequest& r);
uint32_t req_auth_passwd_v2(DrvRequest& r);
// ---- FCoE (req_fcoe.cpp) -------------------------------------------------------
uint32_t req_get_fcflist(DrvRequest& r);
// ---- SD statistics (req_sd.cpp) ------------------------------------------------
uint32_t req_sd_bucket(DrvRequest& r);
uint32_t req_sd_data_collection(DrvRequest& r);
uint32_t req_sd_get_data(DrvRequest& r);
// ---- LUN masking and target mapping (req_lun.cpp) --------------------------
uint32_t req_inquire_scsiid(DrvRequest& r);
uint32_t req_inquire_lunlist(DrvRequest& r);
uint32_t req_inquire_nodelist(DrvRequest& r);
uint32_t req_multi_lunmask(DrvRequest& r);
uint32_t req_scsi_rescan(DrvRequest& r);
uint32_t req_fcp_target_mapping(DrvRequest& r);
// ---- SCSI and ELS pass-through (req_passthru.cpp) ----------------------------
uint32_t req_scsi_passthru(DrvRequest& r);
uint32_t req_fcp_passthru(DrvRequest& r);
uint32_t req_issue_els(DrvRequest& r);
// ---- OAS LUN lists (req_oas.cpp) ----------------------------------------------
uint32_t req_oas_lunlist(DrvRequest& r);
uint32_t req_oas_lunlist_v2(DrvRequest& r);
uint32_t req_oas_table(DrvRequest& r);
uint32_t req_oas_table_v2(DrvRequest& r);
uint32_t req_oas_set_v2(DrvRequest& r);
uint32_t req_oas_set_v3(DrvRequest& r);
// ---- driver events (req_events.cpp) ----------------------------------------------
uint32_t req_dump_event(DrvRequest& r);
uint32_t req_temperature_event(DrvRequest& r);
// ---- CT management service (req_ct.cpp) -------------------------------------------
uint32_t req_ct_register(DrvRequest& r);
uint32_t req_ct_post_sync(DrvRequest& r);
uint32_t req_ct_collect(DrvRequest& r);
uint32_t req_ct_response(DrvRequest& r);
uint32_t req_ct_cancel(DrvRequest& r);
uint32_t req_ct_mgmt_command(DrvRequest& r);
uint32_t req_ct_passthru(DrvRequest& r);

const DrvHandlerEntry kDrvHandlers[] = {
    // ---- discovery ----
    {TGX_IOCTL_GETDRV_INFO, TGX_SIG_ZT, TGX_SIZE_GETDRV_INFO, "GETDRV_INFO", req_getdrv_info},
    {TGX_IOCTL_RETURN_INFO, TGX_SIG_ZT, TGX_SIZE_RETURN_INFO, "RETURN_INFO", req_return_info},
    {TGX_IOCTL_HBA_GET_ADAPTER_ATTRIBUTES, TGX_SIG_HBAAPI, TGX_SIZE_ADAPTER_ATTRIBUTES,
     "HBA_GET_ADAPTER_ATTRIBUTES", req_adapter_attributes},
    {TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES, TGX_SIG_HBAAPI, TGX_SIZE_PORT_ATTRIBUTES,
     "HBA_GET_PORT_ATTRIBUTES", req_port_attributes},
    {TGX_IOCTL_HBA_REFRESH_INFORMATION, TGX_SIG_HBAAPI, TGX_ENV_HEADER_LENGTH,
     "HBA_REFRESH_INFORMATION", req_refresh_information},
    {TGX_IOCTL_MGMT_START, nullptr, 0, "MGMT_START", req_mgmt_start},
    // ---- mailbox transport forms ----
    {TGX_IOCTL_ISSUEMB, TGX_SIG_ZT, TGX_SIZE_ISSUEMB, "ISSUEMB", req_issuemb},
    {TGX_IOCTL_ISSUEMB_XMTRCV, TGX_SIG_ZT, TGX_SIZE_ISSUEMB_XMTRCV_BASE, "ISSUEMB_XMTRCV",
     req_issuemb_xmtrcv},
    {TGX_IOCTL_ISSUEMB_EVENTLOG, TGX_SIG_ZT, TGX_SIZE_ISSUEMB_EVENTLOG_BASE, "ISSUEMB_EVENTLOG",
     req_issuemb_eventlog},
    {TGX_IOCTL_ISSUEMB_EX, TGX_SIG_ZT, TGX_SIZE_ISSUEMB_EX, "ISSUEMB_EX", req_issuemb_ex},
    {TGX_IOCTL_ISSUEMB_V2, TGX_SIG_ZT, TGX_SIZE_ISSUEMB_V2_BASE, "ISSUEMB_V2", req_issuemb_v2},
    // ---- queries ----
    {TGX_IOCTL_RW_CTLREG, TGX_SIG_ZT, TGX_SIZE_RW_SLIM, "RW_CTLREG", req_rw_ctlreg},
    {TGX_IOCTL_READ_SLIM, TGX_SIG_ZT, TGX_SIZE_RW_SLIM, "READ_SLIM", req_read_slim},
    {TGX_IOCTL_WRITE_SLIM, TGX_SIG_ZT, TGX_SIZE_RW_SLIM, "WRITE_SLIM", req_write_slim},
    {TGX_IOCTL_GET_VPD, TGX_SIG_ZT, TGX_SIZE_GET_VPD, "GET_VPD", req_get_vpd},
    {TGX_IOCTL_GET_LINKINFO, TGX_SIG_ZT, TGX_SIZE_GET_LINKINFO, "GET_LINKINFO", req_get_linkinfo},
    {TGX_IOCTL_TRUNK_INFO, TGX_SIG_ZT, TGX_SIZE_TRUNK_INFO, "TRUNK_INFO", req_trunk_info},
    // ---- reset, dump, loopback, bridge ----
    {TGX_IOCTL_RESET_ADAPTER, TGX_SIG_ZT, TGX_SIZE_RESET_ADAPTER, "RESET_ADAPTER",
     req_reset_adapter},
    {TGX_IOCTL_SET_DUMPENV, TGX_SIG_ZT, TGX_SIZE_SET_DUMPENV, "SET_DUMPENV", req_set_dumpenv},
    {TGX_IOCTL_GETDRVDUMP_REGION, TGX_SIG_ZT, TGX_ENV_HEADER_LENGTH + TGX_DUMPREGION_HDR + 4,
     "GETDRVDUMP_REGION", req_getdrvdump_region},
    {TGX_IOCTL_LOOPBACK_TEST, TGX_SIG_ZT, TGX_LOOPBACK_BASE, "LOOPBACK_TEST", req_loopback_test},
    {TGX_IOCTL_TAMBER_ISSUEMB, TGX_SIG_ZT, TGX_ENV_HEADER_LENGTH + 272, "TAMBER_ISSUEMB",
     req_tamber_issuemb},
    {TGX_IOCTL_GET_CT_INFO, TGX_SIG_ZT, TGX_ENV_HEADER_LENGTH + TGX_CTINFO_OFF_CMD + 4,
     "GET_CT_INFO", req_get_ct_info},
    // ---- driver parameters ----
    {TGX_IOCTL_ISSUE_PARSE, TGX_SIG_ZT, TGX_SIZE_ISSUE_PARSE, "ISSUE_PARSE", req_issue_parse},
    // ---- NPIV virtual ports ----
    {TGX_IOCTL_NPIV_APP_CREATE, TGX_SIG_ZT, TGX_SIZE_NPIV_CREATE, "NPIV_APP_CREATE",
     req_npiv_create},
    {TGX_IOCTL_NPIV_DELETE, TGX_SIG_ZT, TGX_SIZE_NPIV_DELETE, "NPIV_DELETE", req_npiv_delete},
    {TGX_IOCTL_NPIV_QUERY, TGX_SIG_ZT, TGX_SIZE_NPIV_QUERY, "NPIV_QUERY", req_npiv_query},
    {TGX_IOCTL_NPIV_PORTATTRIB, TGX_SIG_ZT, TGX_SIZE_NPIV_PORTATTRIB, "NPIV_PORTATTRIB",
     req_npiv_portattrib},
    {TGX_IOCTL_NPIV_GETLIST, TGX_SIG_ZT, TGX_SIZE_NPIV_GETLIST_BASE, "NPIV_GETLIST",
     req_npiv_getlist},
    {TGX_IOCTL_NPIV_RESOURCE, TGX_SIG_ZT, TGX_SIZE_NPIV_RESOURCE, "NPIV_RESOURCE",
     req_npiv_resource},
    {TGX_IOCTL_NPIV_SETUPSTATS, TGX_SIG_ZT, TGX_SIZE_NPIV_SETUPSTATS, "NPIV_SETUPSTATS",
     req_npiv_setupstats},
    {TGX_IOCTL_NPIV_GETSTATS, TGX_SIG_ZT, TGX_SIZE_NPIV_GETSTATS_BASE, "NPIV_GETSTATS",
     req_npiv_getstats},
    {TGX_IOCTL_VPI_LOOKUP, TGX_SIG_ZT, TGX_SIZE_VPI_LOOKUP, "VPI_LOOKUP", req_vpi_lookup},
    // ---- authentication ----
    {TGX_IOCTL_AUTH_CONFIG, TGX_SIG_ZT, TGX_SIZE_AUTH, "AUTH_CONFIG", req_auth_config},
    {TGX_IOCTL_AUTH_PASSWD, TGX_SIG_ZT, TGX_SIZE_AUTH, "AUTH_PASSWD", req_auth_passwd},
    {TGX_IOCTL_AUTH_START, TGX_SIG_ZT, TGX_SIZE_AUTH, "AUTH_START", req_auth_start},
    {TGX_IOCTL_AUTH_ENABLE, TGX_SIG_ZT, TGX_SIZE_AUTH, "AUTH_ENABLE", req_auth_enable},
    {TGX_IOCTL_AUTH_STATUS, TGX_SIG_ZT, TGX_SIZE_AUTH, "AUTH_STATUS", req_auth_status},
    {TGX_IOCTL_AUTH_CONFIG_V2, TGX_SIG_ZT, TGX_SIZE_AUTH_LIST_BASE, "AUTH_CONFIG_V2",
     req_auth_config_v2},
    {TGX_IOCTL_AUTH_PASSWD_V2, TGX_SIG_ZT, TGX_SIZE_AUTH_PWD_V2, "AUTH_PASSWD_V2",
     req_auth_passwd_v2},
    // ---- FCoE ----
    {TGX_IOCTL_GET_FCFLIST, TGX_SIG_ZT, TGX_SIZE_FCFLIST_BASE, "GET_FCFLIST", req_get_fcflist},
    // ---- SD statistics ----
    {TGX_IOCTL_SD_BUCKET, TGX_SIG_ZT, TGX_SIZE_SD_REQUEST, "SD_BUCKET", req_sd_bucket},
    {TGX_IOCTL_SD_DATA_COLLECTION, TGX_SIG_ZT, TGX_SIZE_SD_REQUEST, "SD_DATA_COLLECTION",
     req_sd_data_collection},
    {TGX_IOCTL_SD_GET_DATA, TGX_SIG_ZT, TGX_SIZE_SD_GET_DATA_BASE, "SD_GET_DATA", req_sd_get_data},
    // ---- LUN masking and target mapping ----
    {TGX_IOCTL_INQUIRE_SCSIID, TGX_SIG_ZT, TGX_SIZE_INQUIRE_SCSIID, "INQUIRE_SCSIID",
     req_inquire_scsiid},
    {TGX_IOCTL_INQUIRE_LUNLIST, TGX_SIG_ZT, TGX_ENV_HEADER_LENGTH + TGX_LUNLIST_OFF_ENTRIES,
     "INQUIRE_LUNLIST", req_inquire_lunlist},
    {TGX_IOCTL_INQUIRE_NODELIST, TGX_SIG_ZT, TGX_ENV_HEADER_LENGTH + TGX_NODELIST_OFF_ENTRIES,
     "INQUIRE_NODELIST", req_inquire_nodelist},
    {TGX_IOCTL_MULTI_LUNMASKING, TGX_SIG_ZT, TGX_SIZE_MULTI_LUNMASK, "MULTI_LUNMASKING",
     req_multi_lunmask},
    {TGX_IOCTL_SCSI_RESCAN_BUS, TGX_SIG_ZT, TGX_ENV_HEADER_LENGTH, "SCSI_RESCAN_BUS",
     req_scsi_rescan},
    {TGX_IOCTL_FCP_TARGET_MAPPING, TGX_SIG_ZT, TGX_SIZE_TARGET_MAPPING_BASE, "FCP_TARGET_MAPPING",
     req_fcp_target_mapping},
    // ---- SCSI and ELS pass-through ----
    {TGX_IOCTL_SCSI_PASSTHRU, TGX_SIG_ZT, TGX_SIZE_SCSI_BASE, "SCSI_PASSTHRU", req_scsi_passthru},
    {TGX_IOCTL_FCP_PASSTHRU, TGX_SIG_ZT, TGX_SIZE_FCP_BASE, "FCP_PASSTHRU", req_fcp_passthru},
    {TGX_IOCTL_ISSUE_ELS_CMD, TGX_SIG_ZT, TGX_SIZE_ELS_BASE, "ISSUE_ELS_CMD", req_issue_els},
    // ---- OAS LUN lists ----
    {TGX_IOCTL_INQUIRE_LUNLIST_OAS, TGX_SIG_ZT, TGX_SIZE_OAS_LUNLIST, "INQUIRE_LUNLIST_OAS",
     req_oas_lunlist},
    {TGX_IOCTL_INQUIRE_OAS_LUNLISTV2, TGX_SIG_ZT, TGX_SIZE_OAS_LUNLISTV2, "INQUIRE_OAS_LUNLISTV2",
     req_oas_lunlist_v2},
    {TGX_IOCTL_OAS_TABLE, TGX_SIG_ZT, TGX_SIZE_OAS_TABLE_BASE, "OAS_TABLE", req_oas_table},
    {TGX_IOCTL_OAS_TABLE_V2, TGX_SIG_ZT, TGX_SIZE_OAS_TABLE_V2_BASE, "OAS_TABLE_V2",
     req_oas_table_v2},
    {TGX_IOCTL_SET_LUNOASV2, TGX_SIG_ZT, TGX_SIZE_OAS_SET, "SET_LUNOASV2", req_oas_set_v2},
    {TGX_IOCTL_SET_LUNOASV3, TGX_SIG_ZT, TGX_SIZE_OAS_SET, "SET_LUNOASV3", req_oas_set_v3},
    // ---- driver events ----
    {TGX_IOCTL_DRVDUMP_EVENT, TGX_SIG_ZT, TGX_SIZE_EVENT_REQUEST, "DRVDUMP_EVENT", req_dump_event},
    {TGX_IOCTL_TEMPERATURE_EVENT, TGX_SIG_ZT, TGX_SIZE_EVENT_REQUEST, "TEMPERATURE_EVENT",
     req_temperature_event},
    // ---- CT management service (management device; pass-through on the SCSI port) ----
    {TGX_IOCTL_MGMT_REGISTER_CT, nullptr, TGX_CT_CTL_SIZE, "MGMT_REGISTER_CT", req_ct_register},
    {TGX_IOCTL_MGMT_POST_RECEIVE, nullptr, 0, "MGMT_POST_RECEIVE", req_ct_post_sync},
    {TGX_IOCTL_MGMT_RECEIVE, nullptr, TGX_CT_RCV_OFF_DATA, "MGMT_RECEIVE", req_ct_collect},
    {TGX_IOCTL_MGMT_SEND_RSP, nullptr, 0, "MGMT_SEND_RSP", req_ct_response},
    {TGX_IOCTL_MGMT_CANCEL_RECEIVE, nullptr, 0, "MGMT_CANCEL_RECEIVE", req_ct_cancel},
    {TGX_IOCTL_MGMT_SEND_CMD, nullptr, TGX_ENV_HEADER_LENGTH + TGX_MGMT_OFF_CMD, "MGMT_SEND_CMD",
     req_ct_mgmt_command},
    {TGX_IOCTL_HBA_CT_PASSTHRU, TGX_SIG_HBAAPI, TGX_ENV_HEADER_LENGTH + TGX_CTPT_OFF_CMD,
     "HBA_CT_PASSTHRU", req_ct_passthru},
};
const size_t kDrvHandlerCount = sizeof(kDrvHandlers) / sizeof(kDrvHandlers[0]);

} // namespace hbasim
