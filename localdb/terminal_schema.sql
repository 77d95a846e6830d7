-- The local tables of the POS terminal database (POS_LOC.GDB), as this program
-- uses them: the one definition of each. Firebird 3, dialect 3, database charset
-- NONE (text columns hold Big5 bytes, widths count bytes).
-- "-- added later" after a table's first line or a column marks what a terminal
-- at the older level (before the updater first ran) lacks: terminal-init leaves
-- it out, and the upkeep at every start adds whatever of it a terminal lacks.
-- Indexes follow their table. The product job keeps LOC_PDC1 to LOC_PDC4 itself.
-- Dates are texts YYYY/MM/DD. No primary keys: the jobs find rows by lookups
-- of their own and must never have a row refused for a repeated key.

-- Products, one row per product. Filled by the products job, which replaces
-- every row with the same bar code or product number. The bundle barcodes job
-- deletes rows whose product number or bar code is a bundle barcode.
CREATE TABLE LOC_PDC (
    PDC_NO        VARCHAR(20) NOT NULL,
    PDC_NAME      VARCHAR(50),
    PROD_ID       VARCHAR(20) NOT NULL,
    PROD_ID2      VARCHAR(20),
    INV_NAME      VARCHAR(40),
    BAR_CODE      VARCHAR(20),
    PDC_UNIT      VARCHAR(10),
    GEN_PRICE     DOUBLE PRECISION,
    STD_PRICE     DOUBLE PRECISION,
    STK_PRICE     DOUBLE PRECISION,
    PCH_PRICE     DOUBLE PRECISION,
    PD_CLASSID    VARCHAR(10),
    STOP_CODE     VARCHAR(1),
    PDC_TYPE      VARCHAR(10),
    VIP_PRICE     DOUBLE PRECISION,
    CR_PRICE      DOUBLE PRECISION,
    TAX_KIND      VARCHAR(1),
    P_PU          VARCHAR(10),
    P_PU2         VARCHAR(10),
    MEM_DISCOUNT  VARCHAR(10),
    P_PRICE       DOUBLE PRECISION,
    P_PRICE2      DOUBLE PRECISION,
    N_PRICE       DOUBLE PRECISION,
    FREE_TAX      DOUBLE PRECISION,
    HEA_TAX       DOUBLE PRECISION,
    POINT_YN      VARCHAR(1),  -- added later
    PROD_SCALE    VARCHAR(30),  -- added later
    STOCK_QTY     VARCHAR(5),  -- added later
    DEF_PROFIT    DOUBLE PRECISION,  -- added later
    MS            VARCHAR(1),  -- added later
    PUT_ID        VARCHAR(10)  -- added later
);

-- Product categories, one row per small category with its middle group, top
-- category and department. Emptied and refilled by the products job.
CREATE TABLE LOC_TYPE (
    TYPE_NO       VARCHAR(10),
    TYPE_NAME     VARCHAR(40),
    MID_ITEMID    VARCHAR(10),
    MID_ITEMNAME  VARCHAR(40),
    TOP_ITEMID    VARCHAR(10),
    TOP_ITEMNAME  VARCHAR(40),
    M_SHOW        VARCHAR(1),
    PD_DEPID      VARCHAR(10),
    PD_DEPNAME    VARCHAR(40)
);

-- Staff with password and check code. Upserted by LAB_NO by the staff job,
-- which empties the table first in a full update.
CREATE TABLE LOC_PERS (
    LAB_NO        VARCHAR(10) NOT NULL,
    CNAME         VARCHAR(40),
    PASSW         VARCHAR(20),
    CHK_CODE      VARCHAR(20)
);

-- Shifts. Upserted by WRK_NO by the shifts job. START is a reserved word,
-- so it is quoted here and in every statement that names it.
CREATE TABLE LOC_WRK (
    WRK_NO        VARCHAR(10) NOT NULL,
    WRK_NAME      VARCHAR(20),
    WRK_ALOW      VARCHAR(10),
    "START"       VARCHAR(8),
    OVE_          VARCHAR(8),
    WORK_TIME     VARCHAR(8)
);

-- Paper invoice word tracks, one per invoice period. Upserted by YY||MM by
-- the invoice word tracks job.
CREATE TABLE LOC_WORD (
    YY            VARCHAR(4) NOT NULL,
    MM            VARCHAR(2) NOT NULL,
    INV_WORD      VARCHAR(2)
);

-- Bundle sale barcodes, a pack of a product sold under a barcode of its own.
-- Emptied and refilled by the bundle barcodes job, which copies the first
-- seven columns by position: keep their order. STOP_YN is never written by
-- the job, so new rows take its default.
CREATE TABLE PROD_SALE (
    PROD_ID       VARCHAR(20),
    SAL_BARCODE   VARCHAR(20),
    SAL_NAME      VARCHAR(50),
    PACK_QTY      INTEGER,
    SAL_UNITNAME  VARCHAR(10),
    SAL_PRICE     DOUBLE PRECISION,
    VIP_PRICE     DOUBLE PRECISION,
    STOP_YN       VARCHAR(1) DEFAULT 'N'
);

-- Sales promotions, one row per promotion line (header repeated). Written by
-- the sales promotions job: a changed promotion is deleted by MASTERBILLID and
-- rewritten, a full update upserts by MASTERBILLID and TEMPPRODID and purges
-- lines whose END_DATE has passed.
CREATE TABLE PROMOTION (
    MASTERBILLID  VARCHAR(20) NOT NULL,
    BILL_DATE     VARCHAR(10),
    INI_DATE      VARCHAR(10),
    END_DATE      VARCHAR(10),
    REASON        VARCHAR(100),
    PROD_ID       VARCHAR(20),
    PROD_NAME     VARCHAR(50),
    PROD_BARCODE  VARCHAR(20),
    PD_ITEMID     VARCHAR(10),
    PSALE_FLAG    VARCHAR(10),
    PSALE_PRICE   DOUBLE PRECISION,
    OLD_PRICE     DOUBLE PRECISION,
    VIP_PRICE     DOUBLE PRECISION,
    N_QTY         INTEGER,
    G_PROD_ID     VARCHAR(20),
    G_PROD_NAME   VARCHAR(50),
    G_QTY         INTEGER,
    STORE_ID      VARCHAR(10),
    TEMPPRODID    VARCHAR(20) NOT NULL,
    SEC_DIS       VARCHAR(1),
    OVER_AMT      INTEGER,
    PACK_QTY      INTEGER,
    PLIMIT_QTY    INTEGER,
    POINT_YN      VARCHAR(1)  -- added later
);

CREATE INDEX IDX_PROMOTION_0 ON PROMOTION (MASTERBILLID, TEMPPRODID);

-- Members with their class discount. Written by the members job: upserted by
-- MEMBER_ID in a changes update, deleted and appended in a full update. The
-- amount and point counters are reset to 0 on every write.
CREATE TABLE MEMBER (
    MEMBER_ID        VARCHAR(10) NOT NULL,
    MEMBER_NAME      VARCHAR(40),
    MEMBER_PHONE     VARCHAR(20),
    MEMBER_ADD       VARCHAR(100),
    MEMBER_BIRTHDAY  VARCHAR(10),
    SERVICE_ID       VARCHAR(10),
    SERVICE_NAME     VARCHAR(40),
    JOB_TITLE        VARCHAR(20),
    CARD_ID          VARCHAR(20),
    INI_DATE         VARCHAR(10),
    END_DATE         VARCHAR(10),
    E_MAIL           VARCHAR(60),
    DISABLE_FLAG     VARCHAR(1),
    MAIL_NUM         VARCHAR(10),
    MOBILE_PHONE     VARCHAR(20),
    NOTE             VARCHAR(200),
    LEAVE_DATE       VARCHAR(10),
    S_NO             VARCHAR(10),
    STOCK_NUM        VARCHAR(10),
    CHG_DATE         VARCHAR(10),
    CHG_USER         VARCHAR(10),
    MEMBER_CLASSID   VARCHAR(10),
    CLASS_ID         VARCHAR(10),
    DISCOUNT         DOUBLE PRECISION,
    ID_NO            VARCHAR(20),
    TAX_CODE         VARCHAR(10),
    MAN_SALE         VARCHAR(10),
    IDIS             DOUBLE PRECISION,
    INVOICE_CLASS    VARCHAR(10),
    SHET_YN          VARCHAR(1),
    VIP_OK           VARCHAR(1),
    PRICE_FLAG       VARCHAR(1),
    TOTAL_AMT        DOUBLE PRECISION,
    N_AMT            DOUBLE PRECISION,
    USE_AMT          DOUBLE PRECISION,
    TOTAL_POINT      DOUBLE PRECISION,
    N_POINT          DOUBLE PRECISION,
    USE_POINT        DOUBLE PRECISION,
    U_DATE           VARCHAR(10)
);

CREATE INDEX IDX_MEMBER_0 ON MEMBER (MEMBER_ID);

-- Member sub-cards under a main card. Written by the members job for each
-- member it writes: upserted by MEMBER_ID and SUBCARD_ID, or all cards of the
-- member deleted when head office lists none.
CREATE TABLE VIPCARD_SUB (
    MEMBER_ID     VARCHAR(10) NOT NULL,
    MAINCARD_ID   VARCHAR(20),
    SUBCARD_ID    VARCHAR(20) NOT NULL,
    SUBCARD_MAN   VARCHAR(20),
    REMARK        VARCHAR(100),
    CR_DATE       VARCHAR(10),
    CHG_DATE      VARCHAR(10),
    DEL_FLAG      VARCHAR(5),
    SAL_TAG       VARCHAR(1)
);

CREATE INDEX IDX_VIPCARD_SUB_0 ON VIPCARD_SUB (MEMBER_ID);

-- Discount of each member class on each product class. Emptied and refilled
-- by the members job at its end.
CREATE TABLE MEMLEVEL_PDCLASS_DIS (
    MEM_CLASSID   VARCHAR(10),
    PD_CLASSID    VARCHAR(10),
    PD_CLASSNAME  VARCHAR(40),
    DISCOUNT      DOUBLE PRECISION,
    REMARK        VARCHAR(100)
);

-- Any-choice promotions, one row per product line (header repeated). Written
-- by the any-choice promotions job: a changed bill is deleted by MASTERBILLID
-- and rewritten, a full update empties the table and upserts by MASTERBILLID
-- and TEMPPRODID.
CREATE TABLE PTSALE (
    BILL_DATE     VARCHAR(10),
    MASTERBILLID  VARCHAR(20) NOT NULL,
    PRO_ID        VARCHAR(20),
    INI_DATE      VARCHAR(10),
    INI_TIME      VARCHAR(8),
    END_DATE      VARCHAR(10),
    END_TIME      VARCHAR(8),
    PTSALE_CLASS  VARCHAR(10),
    PTSALE_QTY    INTEGER,
    PTSALE_PRICE  DOUBLE PRECISION,
    PTSALE_DIS    DOUBLE PRECISION,
    CHG_DATE      VARCHAR(10),
    CHG_USER      VARCHAR(10),
    REMARK        VARCHAR(100),
    PROD_ID       VARCHAR(20),
    PROD_BARCODE  VARCHAR(20),
    PROD_NAME     VARCHAR(50),
    PROVIDER_ID   VARCHAR(10),
    TEMPPRODID    VARCHAR(20) NOT NULL,
    SEC_DIS       VARCHAR(1),
    POINT_YN      VARCHAR(1)
);

CREATE INDEX IDX_PTSALE_0 ON PTSALE (MASTERBILLID, TEMPPRODID);

-- POS machines of the chain. Upserted by MCH_NO by the machines job.
CREATE TABLE MCH_ITEM (
    MCH_NO        VARCHAR(5) NOT NULL,
    MCH_IP        VARCHAR(20),
    MCH_NAME      VARCHAR(40)
);

-- Keyboard keys and the product each one sells. Emptied and refilled by the
-- keyboard job, upserting by ID_NO.
CREATE TABLE LOC_KEY_MAP (
    ID_NO         VARCHAR(10) NOT NULL,
    PDC_NO        VARCHAR(20),
    PDC_NAME      VARCHAR(50),
    MEMO          VARCHAR(100)
);

-- Products listed under a keyboard key. Emptied and refilled by the keyboard
-- job, upserting by ID_NO and PDC_NO.
CREATE TABLE LOC_KEY_MAP_SUB (
    ID_NO         VARCHAR(10) NOT NULL,
    PDC_NO        VARCHAR(20) NOT NULL,
    PDC_NAME      VARCHAR(50),
    MEMO          VARCHAR(100)
);

-- Member discount levels: per class and level an amount band and a discount.
-- Upserted by CLASS_ID and LEVEL_ID by the member discounts job. LEVEL_ID is
-- compared with an unquoted number.
CREATE TABLE MEMDIS_LEVEL (
    CLASS_ID      VARCHAR(10) NOT NULL,
    LEVEL_ID      INTEGER,
    LO_AMT        DOUBLE PRECISION,
    HI_AMT        DOUBLE PRECISION,
    I_DISCOUNT    DOUBLE PRECISION
);

-- Points settings: from INI_DATE on, CHG_POINT points per SAL_AMT of sales.
-- Upserted by INI_DATE by the points settings job.
CREATE TABLE POINT_SET (
    INI_DATE      VARCHAR(10) NOT NULL,
    SAL_AMT       DOUBLE PRECISION,
    CHG_POINT     INTEGER,
    CHG_DATE      VARCHAR(10),
    CHG_USER      VARCHAR(10)
);

-- Stopped stored-value cards. Emptied and refilled by the card stops job
-- when head office lists at least one stopped card.
CREATE TABLE SMARTCARD_DATA (
    MEMBER_ID     VARCHAR(10),
    PIN_CODE      VARCHAR(20),
    CR_DATE       VARCHAR(10),
    CHG_DATE      VARCHAR(10)
);

-- Electronic invoice number ranges of this terminal. Created at start-up when
-- missing; upserted by EYY||EMM by the invoice word tracks job.
CREATE TABLE EINVOICE_WORD (  -- added later
    MCH_NO        VARCHAR(5) NOT NULL,
    EYY           VARCHAR(4),
    EMM           VARCHAR(2),
    EWORD         VARCHAR(2),
    BG_NUM        VARCHAR(10),
    ED_NUM        VARCHAR(10),
    CHG_DATE      VARCHAR(10),
    CHG_USER      VARCHAR(10)
);

CREATE INDEX IDX_EINVOICE_WORD_0 ON EINVOICE_WORD (MCH_NO);

-- Gift promotions, one row per line (header repeated), as PROMOTION. Written by
-- the gift promotions job, which also makes it when missing; every written row
-- sets OVER_AMT.
CREATE TABLE GPROMOTION (  -- added later
    MASTERBILLID  VARCHAR(20),
    BILL_DATE     VARCHAR(10),
    INI_DATE      VARCHAR(10),
    END_DATE      VARCHAR(10),
    REASON        VARCHAR(100),
    PROD_ID       VARCHAR(20),
    PROD_NAME     VARCHAR(50),
    PROD_BARCODE  VARCHAR(20),
    PD_ITEMID     VARCHAR(10),
    PSALE_FLAG    VARCHAR(10),
    PSALE_PRICE   DOUBLE PRECISION,
    OLD_PRICE     DOUBLE PRECISION,
    VIP_PRICE     DOUBLE PRECISION,
    N_QTY         INTEGER,
    G_PROD_ID     VARCHAR(20),
    G_PROD_NAME   VARCHAR(50),
    G_QTY         INTEGER,
    STORE_ID      VARCHAR(10),
    TEMPPRODID    VARCHAR(20),
    SEC_DIS       VARCHAR(1),
    OVER_AMT      INTEGER
);

CREATE INDEX IDX_GPROMOTION_0 ON GPROMOTION (MASTERBILLID, TEMPPRODID);

-- Keys whose change-log entries were removed at head office before their rows
-- were applied (products and members), taken first by the next run.
CREATE TABLE POS_TAKEN_KEYS (  -- added later
    TAKEN_AS      VARCHAR(40) NOT NULL,
    KEY_VALUE     VARCHAR(80) NOT NULL
);

CREATE INDEX POS_TAKEN_KEYS1 ON POS_TAKEN_KEYS (TAKEN_AS, KEY_VALUE);
