// SCSI and ELS pass-through through libtgx against the simulated targets:
// INQUIRY, READ CAPACITY and REPORT LUNS by WWN, FCP commands, ELS requests,
// the ReturnCode tables and the bounds of every copy into caller buffers.
#include "tests/libtgx_scsi/scsi_fixture.h"

namespace {

using namespace scsitest;

// A buffer with 0xEE guard bytes after its size.
struct Guarded {
    std::vector<uint8_t> b;
    uint32_t size;
    explicit Guarded(uint32_t n) : b(n + 32, 0xEE), size(n) {}
    uint8_t* data() { return b.data(); }
    bool intact() const {
        for (size_t i = size; i < b.size(); ++i)
            if (b[i] != 0xEE) return false;
        return true;
    }
};

class PassThruTest : public ScsiTest {
  protected:
    uint32_t inquiry(uint64_t fcLun, uint8_t evpd, uint32_t page, Guarded* rsp, Guarded* sense,
                     const Wwn& port = kPort, const Wwn& target = kT1) {
        return fn<InquiryFn>("TGX_SendScsiInquiryByWWN")(0, port.b, target.b, fcLun, evpd, page,
                                                         rsp->data(), rsp->size, sense->data(),
                                                         sense->size);
    }
    uint32_t read_capacity(uint32_t lun, Guarded* rsp, Guarded* sense) {
        return fn<ReadCapFn>("TGX_SendReadCapacityByWWN")(0, kPort.b, kT1.b, lun, rsp->data(),
                                                          rsp->size, sense->data(), sense->size);
    }
    uint32_t report_luns(Guarded* rsp, Guarded* sense) {
        return fn<ReportLunsFn>("TGX_SendReportLUNsByWWN")(0, kPort.b, kT1.b, rsp->data(),
                                                           rsp->size, sense->data(), sense->size);
    }
    const Sent& last_passthru() {
        for (size_t i = sent().size(); i-- > 0;)
            if ((sent()[i].code & ~0x0FF00000u) == TGX_IOCTL_SCSI_PASSTHRU) return sent()[i];
        ADD_FAILURE() << "no pass-through request";
        return sent().back();
    }
};

TEST_F(PassThruTest, InquiryStandardAndVitalProductData) {
    Guarded rsp(96), sense(32);
    ASSERT_EQ(inquiry(2u << 8, 0, 0, &rsp, &sense), 0u);
    EXPECT_EQ(0, memcmp(rsp.data() + 8, "HBASIM  VIRTUAL DISK    0001", 28));
    const Sent& s = last_passthru();
    EXPECT_EQ(s.size(), TGX_SIZE_SCSI_BASE + 96 + 32);
    EXPECT_EQ(rd32(s.payload() + TGX_SCSI_OFF_LUN), 2u) << "byte 1 of the FC LUN";
    EXPECT_EQ(s.payload()[TGX_SCSI_OFF_CDBLEN], 6);
    EXPECT_EQ(s.payload()[TGX_SCSI_OFF_CDB + 4], 96);

    ASSERT_EQ(inquiry(0, 1, 0x80, &rsp, &sense), 0u);
    EXPECT_EQ(rsp.data()[1], 0x80);
    EXPECT_EQ(0, memcmp(rsp.data() + 4, "50060E800000000100", 18));
    ASSERT_EQ(inquiry(0, 1, 0x83, &rsp, &sense), 0u);
    EXPECT_EQ(0, memcmp(rsp.data() + 8, kT1.b, 8)) << "the target port's name";
    EXPECT_TRUE(rsp.intact());

    Guarded big(256);
    ASSERT_EQ(inquiry(0, 0, 0, &big, &sense), 0u);
    EXPECT_EQ(last_passthru().payload()[TGX_SCSI_OFF_CDB + 4], 255) << "not 256 & 0xFF";
    EXPECT_EQ(big.data()[4], 31);
}

TEST_F(PassThruTest, UnknownLunAndBadPageAnswerWithSense) {
    struct Case {
        const char* name;
        uint64_t lun;
        uint8_t evpd, page;
        uint8_t key, asc;
    };
    const Case cases[] = {
        {"unknown LUN", 9u << 8, 0, 0, 0x05, 0x25},
        {"page without EVPD", 0, 0, 0x80, 0x05, 0x24},
        {"unsupported page", 0, 1, 0x99, 0x05, 0x24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Guarded rsp(36), sense(32);
        EXPECT_EQ(inquiry(c.lun, c.evpd, c.page, &rsp, &sense), 1u);
        EXPECT_EQ(sense.data()[0], 0x70);
        EXPECT_EQ(sense.data()[2], c.key);
        EXPECT_EQ(sense.data()[12], c.asc);
    }
    // Sense bytes never pass the caller's sense buffer.
    Guarded rsp(36), tiny(4);
    EXPECT_EQ(inquiry(9u << 8, 0, 0, &rsp, &tiny), 1u);
    EXPECT_EQ(tiny.data()[0], 0x70);
    EXPECT_TRUE(tiny.intact());
    Guarded none(0);
    EXPECT_EQ(read_capacity(9, &rsp, &none), 1u);
    EXPECT_EQ(last_passthru().payload()[TGX_SCSI_OFF_SENSELEN], 0);
}

TEST_F(PassThruTest, ReadCapacityAndReportLuns) {
    Guarded rsp(8), sense(18);
    ASSERT_EQ(read_capacity(2, &rsp, &sense), 0u);
    const uint8_t cap[8] = {0, 0, 0x03, 0xE7, 0, 0, 0x10, 0}; // 999, 4096
    EXPECT_EQ(0, memcmp(rsp.data(), cap, 8));
    const Sent& s = last_passthru();
    EXPECT_EQ(s.payload()[TGX_SCSI_OFF_CDB], 0x25);
    EXPECT_EQ(s.payload()[TGX_SCSI_OFF_CDB + 1], 2 << 5);
    EXPECT_EQ(s.payload()[TGX_SCSI_OFF_CDBLEN], 10);

    Guarded luns(64);
    ASSERT_EQ(report_luns(&luns, &sense), 0u);
    EXPECT_EQ(0, memcmp(luns.data(), "\0\0\0\x28", 4)) << "list length 40, big-endian";
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(luns.data()[8 + 8 * i + 1], i);
    const uint8_t* cdb = last_passthru().payload() + TGX_SCSI_OFF_CDB;
    EXPECT_EQ(cdb[0], 0xA0);
    EXPECT_EQ(cdb[9], 64);
    EXPECT_EQ(last_passthru().payload()[TGX_SCSI_OFF_CDBLEN], 12);
    EXPECT_TRUE(luns.intact());
}

TEST_F(PassThruTest, ReturnCodeTable) {
    struct Case {
        uint32_t rc;
        uint32_t inquiry, other; // statuses of INQUIRY and of READ CAPACITY / REPORT LUNS
        bool senseCopied;
    };
    const Case cases[] = {
        {1, 0, 0, false},    {18, 18, 18, false}, {2, 1, 0, false},  {0x82, 1, 1, true},
        {4, 1, 0, false},    {0x88, 1, 1, true},  {10, 1, 0, false}, {7, 5, 5, false},
        {32, 5, 5, false},   {33, 5, 5, false},   {21, 7, 7, false}, {99, 1, 0, false},
        {0x81, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rc);
        script([&](uint32_t code, uint8_t* env, uint32_t) {
            if ((code & ~0x0FF00000u) != TGX_IOCTL_SCSI_PASSTHRU) return false;
            uint8_t* p = env + TGX_ENV_HEADER_LENGTH;
            memset(p + TGX_SCSI_OFF_DATA, 0x5A, 8);
            wr32(p + TGX_SCSI_OFF_RSPSIZE, 3); // bytes transferred
            memset(p + TGX_SCSI_OFF_DATA + 8, 0x33, 4);
            p[TGX_SCSI_OFF_SENSELEN] = 4;
            wr32(env + TGX_ENV_OFF_RETURNCODE, c.rc);
            return true;
        });
        Guarded rsp(8), sense(4);
        EXPECT_EQ(inquiry(0, 0, 0, &rsp, &sense), c.inquiry);
        EXPECT_EQ(sense.data()[0], c.senseCopied ? 0x33 : 0xEE);
        Guarded rsp2(8), sense2(4);
        EXPECT_EQ(read_capacity(0, &rsp2, &sense2), c.other);
        EXPECT_EQ(sense2.data()[0], c.senseCopied ? 0x33 : 0xEE);
        Guarded rsp3(8), sense3(4);
        EXPECT_EQ(report_luns(&rsp3, &sense3), c.other);
        // Success copies the response; an overrun only the bytes transferred.
        if (c.other == 0)
            EXPECT_EQ(rsp2.data()[7], 0x5A);
        else if (c.other == 18)
            EXPECT_EQ(0, memcmp(rsp3.data(), "\x5A\x5A\x5A\xEE", 4));
        else
            EXPECT_EQ(rsp2.data()[0], 0xEE);
    }
}

TEST_F(PassThruTest, PortAndTargetLookups) {
    Guarded rsp(36), sense(18);
    ASSERT_EQ(create_vport(1), 0u);
    EXPECT_EQ(inquiry(0, 0, 0, &rsp, &sense, vport(1), kT1), 0u);
    EXPECT_EQ(last_passthru().code, TGX_IOCTL_SCSI_PASSTHRU) << "the path id names the port";
    EXPECT_EQ(rd32(last_passthru().payload()), 1u) << "the virtual port's path";

    struct Case {
        const char* name;
        Wwn port, target;
        uint32_t vpiAnswer; // scripted VPI lookup answer, 0 = the simulator's
        uint32_t status;
    };
    const Case cases[] = {
        {"target the virtual port does not see", vport(1), kT2, 0, 1},
        {"unknown target", kPort, kNoTarget, 0, 1},
        {"unknown port", vport(6), kT1, 0, 2},
        {"port the driver calls unknown", kPort, kT1, 0xFFFFFF, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t vpi = c.vpiAnswer;
        script([vpi](uint32_t code, uint8_t* env, uint32_t) {
            if (vpi == 0 || code != TGX_IOCTL_VPI_LOOKUP) return false;
            wr32(env + TGX_ENV_HEADER_LENGTH + TGX_VPI_OFF_VPI, vpi);
            wr32(env + TGX_ENV_OFF_RETURNCODE, 0);
            return true;
        });
        clear();
        EXPECT_EQ(inquiry(0, 0, 0, &rsp, &sense, c.port, c.target), c.status);
        EXPECT_EQ(count(TGX_IOCTL_SCSI_PASSTHRU), 0u);
    }
    script(nullptr);
    fault("INQUIRE_SCSIID", "fail");
    EXPECT_EQ(report_luns(&rsp, &sense), 1u);
    EXPECT_EQ(fn<ReportLunsFn>("TGX_SendReportLUNsByWWN")(1, kPort.b, kT1.b, rsp.data(), 36,
                                                          sense.data(), 18),
              3u);
}

// FCP_CMND with a LUN, a CDB and the read/write bits.
struct FcpCmnd {
    uint8_t b[32] = {};
    FcpCmnd(uint8_t lun, std::initializer_list<uint8_t> cdb, uint8_t rw = 2) {
        b[1] = lun;
        b[11] = rw;
        size_t i = 12;
        for (uint8_t x : cdb)
            b[i++] = x;
    }
};

TEST_F(PassThruTest, FcpCommandData) {
    FcpCmnd inq(1, {0x12, 0, 0, 0, 36, 0});
    Guarded data(96), rsp(64);
    uint32_t size = 96;
    ASSERT_EQ(fn<FcpFn>("SendFcpCmd")(0, kT1.b, inq.b, 32, data.data(), &size, rsp.data(), 64), 0u);
    EXPECT_EQ(size, 36u);
    EXPECT_EQ(rsp.data()[11], 0);
    EXPECT_EQ(0, memcmp(data.data() + 8, "HBASIM", 6));
    const Sent& s = sent().back();
    EXPECT_EQ(s.size(), TGX_SIZE_FCP_BASE + 96 + 64);
    EXPECT_EQ(s.payload()[TGX_FCP_OFF_FLAGS], 2 | TGX_FCP_FLAG_READ);
    EXPECT_EQ(s.payload()[TGX_FCP_OFF_LUN_LO + 1], 1);

    // More data than the buffer: the driver's count, the buffer's bytes.
    Guarded small(16);
    size = 16;
    FcpCmnd inq96(1, {0x12, 0, 0, 0, 96, 0});
    ASSERT_EQ(fn<FcpFn>("SendFcpCmd")(0, kT1.b, inq96.b, 32, small.data(), &size, rsp.data(), 64),
              0u);
    EXPECT_EQ(size, 36u);
    EXPECT_TRUE(small.intact());

    struct Case {
        const char* name;
        uint8_t b10, b11;
        const Wwn* target;
        uint32_t status;
        size_t requests;
    };
    const Case cases[] = {
        {"byte 10 bits 0 and 1", 3, 2, &kT1, 1, 0},
        {"read and write", 0, 3, &kT1, 1, 0},
        {"unknown target", 0, 2, &kNoTarget, 5, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clear();
        FcpCmnd cmd(0, {0x12, 0, 0, 0, 36, 0}, c.b11);
        cmd.b[10] = c.b10;
        size = 96;
        EXPECT_EQ(
            fn<FcpFn>("SendFcpCmd")(0, c.target->b, cmd.b, 32, data.data(), &size, rsp.data(), 64),
            c.status);
        EXPECT_EQ(count(TGX_IOCTL_FCP_PASSTHRU), c.requests);
    }
}

TEST_F(PassThruTest, FcpSenseIsBoundedByTheResponse) {
    FcpCmnd bad(9, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    Guarded data(8), rsp(64);
    uint32_t size = 8;
    ASSERT_EQ(fn<FcpFn>("SendFcpCmd")(0, kT1.b, bad.b, 32, data.data(), &size, rsp.data(), 64), 0u);
    EXPECT_EQ(rsp.data()[11], 2) << "CHECK CONDITION";
    EXPECT_EQ(rd32(rsp.data() + 16), 18u);
    EXPECT_EQ(rsp.data()[32 + 12], 0x25);

    struct Case {
        uint32_t rspSize;
        uint32_t senseLen; // 0xEEEEEEEE: no room for the field
    };
    const Case cases[] = {{40, 8}, {32, 0}, {20, 0}, {12, 0xEEEEEEEE}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rspSize);
        Guarded r(c.rspSize);
        size = 8;
        ASSERT_EQ(
            fn<FcpFn>("SendFcpCmd")(0, kT1.b, bad.b, 32, data.data(), &size, r.data(), c.rspSize),
            0u);
        EXPECT_TRUE(r.intact());
        if (c.rspSize > 16) {
            EXPECT_EQ(rd32(r.data() + 16), c.senseLen);
        }
    }

    struct Rc {
        uint32_t rc, status;
        uint8_t scsiStatus;
    };
    const Rc rcs[] = {{10, 0, 8}, {21, 7, 0}, {7, 5, 0}, {33, 5, 0}, {0x42, 0, 0}, {4, 0, 0}};
    for (const Rc& c : rcs) {
        SCOPED_TRACE(c.rc);
        fault("FCP_PASSTHRU", "rc=" + std::to_string(c.rc), 1);
        size = 8;
        EXPECT_EQ(fn<FcpFn>("SendFcpCmd")(0, kT1.b, bad.b, 32, data.data(), &size, rsp.data(), 64),
                  c.status);
        EXPECT_EQ(rsp.data()[11], c.scsiStatus);
    }
}

// A command shorter than its CDB (bytes 12-27) is refused before a byte of it
// is read; one that ends with its CDB is enough.
TEST_F(PassThruTest, FcpCommandShorterThanItsCdbIsRefused) {
    const FcpCmnd inq(1, {0x12, 0, 0, 0, 36, 0});
    Guarded data(96), rsp(64);
    struct Case {
        uint32_t reqSize, status;
        size_t requests;
    };
    const Case cases[] = {{0, 1, 0}, {12, 1, 0}, {27, 1, 0}, {28, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reqSize);
        clear();
        // Exactly reqSize bytes of the command, so a read past them is a fault.
        std::vector<uint8_t> cmd(inq.b, inq.b + c.reqSize);
        uint32_t size = 96;
        EXPECT_EQ(fn<FcpFn>("SendFcpCmd")(0, kT1.b, cmd.data(), c.reqSize, data.data(), &size,
                                          rsp.data(), 64),
                  c.status);
        EXPECT_EQ(count(TGX_IOCTL_FCP_PASSTHRU), c.requests);
    }
}

// ---- ELS -----------------------------------------------------------------------------------

uint32_t els(const hbatest::Library& lib, const TGX_ElsDest& d, const std::vector<uint8_t>& req,
             Guarded* rsp, uint32_t* size) {
    *size = rsp->size;
    return lib.fn<ElsFn>("TGX_SendELSCmd")(0, &d, req.data(), (uint32_t)req.size(), rsp->data(),
                                           size);
}

TEST_F(PassThruTest, ElsByWwpnAndByPortId) {
    TGX_ElsDest byWwpn = {TGX_ELS_BY_WWPN, 0, {}};
    memcpy(byWwpn.wwpn, kT1.b, 8);
    const std::vector<uint8_t> echo = {0x10, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    Guarded rsp(64);
    uint32_t size = 0;
    ASSERT_EQ(els(*lib, byWwpn, echo, &rsp, &size), 0u);
    EXPECT_EQ(0, memcmp(rsp.data(), "\x02\0\0\0abcdefgh", 12));
    EXPECT_EQ(size, 12u) << "the smaller of the request and response sizes";
    const Sent& s = sent().back();
    EXPECT_EQ(s.size(), TGX_SIZE_ELS_BASE + 64 + 16);
    EXPECT_EQ(rd32(s.payload() + TGX_ELS_OFF_CMDLEN), 16u);
    EXPECT_EQ(rd32(s.payload() + TGX_ELS_OFF_RSPLEN), 80u);
    EXPECT_EQ(0, memcmp(s.payload() + TGX_ELS_OFF_WWPN, kT1.b, 8));

    TGX_ElsDest byId = {TGX_ELS_BY_PORT_ID, 0x020302, {}};
    std::vector<uint8_t> plogi(116, 0);
    plogi[0] = 0x03;
    Guarded acc(116);
    ASSERT_EQ(els(*lib, byId, plogi, &acc, &size), 0u);
    EXPECT_EQ(acc.data()[0], 0x02);
    EXPECT_EQ(0, memcmp(acc.data() + 20, kT2.b, 8));
    EXPECT_TRUE(acc.intact());

    Guarded rjt(64);
    ASSERT_EQ(els(*lib, byWwpn, {0x77, 0, 0, 0}, &rjt, &size), 0u);
    EXPECT_EQ(0, memcmp(rjt.data(), "\x01\0\0\0\0\x0B\0\0", 8));

    struct Case {
        const char* name;
        TGX_ElsDest dest;
        std::vector<uint8_t> req;
        uint32_t status;
        size_t requests;
    };
    TGX_ElsDest nowhere = {TGX_ELS_BY_PORT_ID, 0x0F0F0F, {}};
    TGX_ElsDest badType = {2, 0, {}};
    const Case cases[] = {
        {"request under 4 bytes", byWwpn, {0x10, 0, 0}, 1, 0},
        {"bad destination type", badType, echo, 1, 0},
        {"unknown destination", nowhere, echo, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clear();
        EXPECT_EQ(els(*lib, c.dest, c.req, &rsp, &size), c.status);
        EXPECT_EQ(count(TGX_IOCTL_ISSUE_ELS_CMD), c.requests);
    }
}

TEST_F(PassThruTest, ElsCopiesStayInsideTheResponse) {
    TGX_ElsDest byWwpn = {TGX_ELS_BY_WWPN, 0, {}};
    memcpy(byWwpn.wwpn, kT1.b, 8);
    const std::vector<uint8_t> echo = {0x10, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    const std::vector<uint8_t> unknown = {0x77, 0, 0, 0, 1, 2, 3, 4};
    struct Case {
        uint32_t rspSize;
        const std::vector<uint8_t>* req;
        const char* expect; // the response's first rspSize bytes
    };
    const Case cases[] = {
        {4, &echo, "\x01\0\0\0"}, // a 4-byte request: nothing to echo
        {8, &echo, "\x02\0\0\0abcd"}, {12, &echo, "\x02\0\0\0abcdefgh"},
        {4, &unknown, "\x01\0\0\0"},  {6, &unknown, "\x01\0\0\0\0\x0B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rspSize);
        Guarded rsp(c.rspSize);
        uint32_t size = 0;
        EXPECT_EQ(els(*lib, byWwpn, *c.req, &rsp, &size), 0u);
        EXPECT_EQ(0, memcmp(rsp.data(), c.expect, c.rspSize));
        EXPECT_TRUE(rsp.intact());
        EXPECT_EQ(size, std::min<uint32_t>(c.rspSize, (uint32_t)c.req->size()));
    }
    // Nothing came back (rsplen 12 or less): an LS_RJT of reason 3, bounded.
    script([](uint32_t code, uint8_t* env, uint32_t) {
        if (code != TGX_IOCTL_ISSUE_ELS_CMD) return false;
        wr32(env + TGX_ENV_HEADER_LENGTH + TGX_ELS_OFF_RSPLEN, 12);
        wr32(env + TGX_ENV_OFF_RETURNCODE, 0);
        return true;
    });
    for (uint32_t n : {8u, 5u, 2u}) {
        Guarded rsp(n);
        uint32_t size = 0;
        EXPECT_EQ(els(*lib, byWwpn, echo, &rsp, &size), 0u);
        EXPECT_EQ(0, memcmp(rsp.data(), "\x01\0\0\0\0\x03\0\0", n));
        EXPECT_TRUE(rsp.intact());
    }
    // A reply that claims more than the room: ReturnCode 7 gives 7, bounded.
    script([](uint32_t code, uint8_t* env, uint32_t) {
        if (code != TGX_IOCTL_ISSUE_ELS_CMD) return false;
        uint8_t* p = env + TGX_ENV_HEADER_LENGTH;
        wr32(p + TGX_ELS_OFF_RSPLEN, 0xFFFFFFF0u);
        p[TGX_ELS_OFF_RSP_CODE] = 0x02;
        wr32(env + TGX_ENV_OFF_RETURNCODE, 7);
        return true;
    });
    Guarded rsp(10);
    uint32_t size = 0;
    EXPECT_EQ(els(*lib, byWwpn, echo, &rsp, &size), 7u);
    EXPECT_TRUE(rsp.intact());
}

// A null buffer with size 0 is accepted by every pass-through export; no
// copy may touch it, on any answer (sanitizer builds catch a copy of no bytes).
TEST_F(PassThruTest, NullBuffersOfSizeZeroAreNeverCopiedTo) {
    struct Case {
        uint32_t rc;
        uint32_t inquiry, reportLuns;
    };
    // Success, an overrun (the bytes transferred), an error with sense.
    const Case cases[] = {{1, 0, 0}, {18, 18, 18}, {0x82, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rc);
        script([&](uint32_t code, uint8_t* env, uint32_t) {
            if ((code & ~0x0FF00000u) != TGX_IOCTL_SCSI_PASSTHRU) return false;
            uint8_t* p = env + TGX_ENV_HEADER_LENGTH;
            wr32(p + TGX_SCSI_OFF_RSPSIZE, 3);
            p[TGX_SCSI_OFF_SENSELEN] = 4;
            wr32(env + TGX_ENV_OFF_RETURNCODE, c.rc);
            return true;
        });
        EXPECT_EQ(fn<InquiryFn>("TGX_SendScsiInquiryByWWN")(0, kPort.b, kT1.b, 0, 0, 0, nullptr, 0,
                                                            nullptr, 0),
                  c.inquiry);
        EXPECT_EQ(
            fn<ReportLunsFn>("TGX_SendReportLUNsByWWN")(0, kPort.b, kT1.b, nullptr, 0, nullptr, 0),
            c.reportLuns);
    }
    script(nullptr);
    TGX_ElsDest byWwpn = {TGX_ELS_BY_WWPN, 0, {}};
    memcpy(byWwpn.wwpn, kT1.b, 8);
    TGX_ElsDest byId = {TGX_ELS_BY_PORT_ID, 0x020302, {}};
    const uint8_t echo[] = {0x10, 0, 0, 0, 'a', 'b', 'c', 'd'};
    struct ElsCase {
        TGX_ElsDest dest;
        uint32_t status; // by port ID the driver has more than no room: 7
    };
    for (const ElsCase& c : {ElsCase{byWwpn, 0}, ElsCase{byId, 7}}) {
        SCOPED_TRACE(c.dest.idType);
        uint32_t size = 0;
        EXPECT_EQ(fn<ElsFn>("TGX_SendELSCmd")(0, &c.dest, echo, sizeof echo, nullptr, &size),
                  c.status);
        EXPECT_EQ(size, 0u);
    }
}

} // namespace
