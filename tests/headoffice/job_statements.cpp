#include "tests/headoffice/job_statements.h"

namespace pos::test {
// clang-format off
namespace {

const std::vector<std::string> kCategoryColumns = {"PD_ITEMID", "PD_ITEMNAME", "PD_GRPID", "PD_GRPNAME", "TOP_ITEMID",
                                                   "TOP_ITEMNAME", "M_SHOW", "PD_DEPID", "PD_DEPNAME"};

const std::vector<std::string> kProductColumns = {
    "PROD_ID",  "PROD_NAME", "PROD_ID2",   "PROD_SNAME",  "PROD_BARCODE", "UNITNAME",     "SALE_PRICE", "PSALE_PRICE",
    "STD_COST", "AVG_COST",  "PD_CLASSID", "SAL_TAG",     "PD_ITEMID",    "VIP_PRICE",    "CR_PRICE",   "TAX_KIND",
    "P_PU",     "P_PU2",     "MEM_DISCOUNT", "P_PRICE",   "P_PRICE2",     "N_PRICE",      "FREE_TAX",   "HEA_TAX",
    "POINT_YN", "PROD_SCALE", "STOCK_QTY", "DEF_PROFIT",  "MS",           "PUT_ID"};
const std::vector<ColumnValue> kProductTypes = {{"PROD_ID", "string"},   {"SALE_PRICE", "r8"}, {"VIP_PRICE", "r8"},
                                                {"STOCK_QTY", "string"}, {"FREE_TAX", "r8"},   {"DEF_PROFIT", "r8"}};

const std::vector<std::string> kPromotionLineColumns = {
    "MASTERBILLID", "BILL_DATE", "INI_DATE",   "END_DATE",  "REASON",    "PROD_ID",     "PROD_NAME", "PROD_BARCODE",
    "PD_ITEMID",    "PSALE_FLAG", "PSALE_PRICE", "OLD_PRICE", "VIP_PRICE", "N_QTY",       "G_PROD_ID", "G_PROD_NAME",
    "G_QTY",        "STORE_ID",  "TEMPPRODID", "SEC_DIS",   "OVER_AMT",  "PACK_QTY",    "PLIMIT_QTY", "POINT_YN"};
const std::vector<ColumnValue> kPromotionLineTypes = {{"INI_DATE", "string"}, {"PSALE_PRICE", "r8"}, {"N_QTY", "i4"},
                                                      {"G_QTY", "i4"},        {"OVER_AMT", "i4"},    {"PACK_QTY", "i4"},
                                                      {"PLIMIT_QTY", "i4"}};

const std::vector<std::string> kGiftLineColumns = {
    "MASTERBILLID", "BILL_DATE", "INI_DATE",    "END_DATE",  "REASON",    "PROD_ID", "PROD_NAME",
    "PROD_BARCODE", "PD_ITEMID", "PSALE_FLAG",  "PSALE_PRICE", "OLD_PRICE", "VIP_PRICE", "N_QTY",
    "G_PROD_ID",    "G_PROD_NAME", "G_QTY",     "STORE_ID",  "TEMPPRODID", "SEC_DIS", "OVER_AMT"};

const std::vector<std::string> kAnyChoiceColumns = {
    "BILL_DATE",  "MASTERBILLID", "PRO_ID",   "INI_DATE",     "INI_TIME",  "END_DATE",   "END_TIME",
    "PTSALE_CLASS", "PTSALE_QTY", "PTSALE_PRICE", "PTSALE_DIS", "CHG_DATE", "CHG_USER", "REMARK",
    "PROD_ID",    "PROD_BARCODE", "PROD_NAME", "PROVIDER_ID", "TEMPPRODID", "SEC_DIS", "POINT_YN"};

const std::vector<std::string> kMemberColumns = {
    "MEMBER_ID",    "MEMBER_NAME", "MEMBER_PHONE", "MEMBER_ADD",    "MEMBER_BIRTHDAY", "SERVICE_ID",  "SERVICE_NAME",
    "JOB_TITLE",    "TOTAL_AMT",   "CARD_ID",      "INI_DATE",      "END_DATE",        "E_MAIL",      "DISABLE_FLAG",
    "MAIL_NUM",     "MOBILE_PHONE", "NOTE",        "LEAVE_DATE",    "S_NO",            "STOCK_NUM",   "CHG_DATE",
    "CHG_USER",     "MEMBER_CLASSID", "DISCOUNT",  "ID_NO",         "TAX_CODE",        "MAN_SALE",    "CHG_TIME",
    "SEX",          "INVOICE_CLASS", "UPPER_AMT",  "SHET_YN",       "MEMBER_PHONE2",   "PASS_WD",     "SALES_ID",
    "MADD_CASH",    "ADD_RATE",    "CUST_ID",      "PRICE_FLAG",    "SELECT_YN",       "BANK_ID",     "BANK_NAME",
    "BANK_TITLE",   "BANK_ACCID",  "USE_AMT",      "TOTAL_POINT",   "USE_POINT",       "U_DATE",      "VIP_OK",
    "MEMBER_ITEMID", "AREA",       "BOSS_NAME",    "BUSINESS_NUM",  "CORP_TEL",        "DM_YN",       "FAX_NUM",
    "BEFORE_POINT", "OLD_ID",      "DEL_DATE",     "IDIS"};
const std::vector<ColumnValue> kMemberTypes = {{"MEMBER_ID", "string"}, {"TOTAL_AMT", "r8"},       {"DISCOUNT", "r8"},
                                               {"IDIS", "r8"},          {"LEAVE_DATE", "string"}, {"U_DATE", "string"}};

const std::vector<std::string> kSubCardColumns = {"MEMBER_ID", "MAINCARD_ID", "SUBCARD_ID", "SUBCARD_MAN", "REMARK",
                                                  "CR_DATE",   "CHG_DATE",    "DEL_FLAG",   "SAL_TAG",     "ADD_RATE",
                                                  "STOP_DATE", "PD_DEPID",    "ICPASS_YN",  "ICPASS"};

}  // namespace

const std::vector<JobStatement>& job_statements() {
  static const std::vector<JobStatement> statements = {
    {-1, "run: opening check of the terminal's machine row", Endpoint::Query,
     "SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ",
     {.includes = {"MCH_NO", "STOCK_ID", "TOP_ITEMID"}, .min_rows = 1, .max_rows = 1, .present = {{"MCH_NO", "001"}}}},
    {0, "categories: the flattened hierarchy", Endpoint::Query,
     "SELECT A.PD_ITEMID,A.PD_ITEMNAME,B.PD_GRPID,B.PD_GRPNAME,C.TOP_ITEMID,C.TOP_ITEMNAME,A.M_SHOW,D.PD_DEPID,D.PD_DEPNAME FROM PROD_ITEM A  "
     " LEFT OUTER JOIN PROD_HIITEM B  "
     " ON A.PD_GRPID = B.PD_GRPID  "
     " LEFT OUTER JOIN PROD_TOPITEM C  "
     " ON C.TOP_ITEMID = B.TOP_ITEMID  "
     " LEFT OUTER JOIN PROD_DEPART D  "
     " ON D.PD_DEPID = C.PD_DEPID  ",
     {.columns = kCategoryColumns, .min_rows = 2, .present = {{"PD_ITEMID", "010101"}, {"TOP_ITEMID", "01"}, {"PD_DEPID", "D1"}}}},
    {0, "products: designated top category of the terminal", Endpoint::Query,
     "SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ",
     {.includes = {"TOP_ITEMID"}, .min_rows = 1, .max_rows = 1}},
    {0, "products changes: deleted products in the change log", Endpoint::Query,
     "SELECT PROD_ID FROM PRODUCT_TEMP WHERE MCH_NO = '001' AND STATE = 'DELETE'  ",
     {.columns = {"PROD_ID"}, .min_rows = 1, .present = {{"PROD_ID", "10000500"}}}},
    {0, "products changes: acknowledge the deleted products taken", Endpoint::Script,
     "DELETE FROM PRODUCT_TEMP WHERE MCH_NO = '001' AND STATE = 'DELETE' AND PROD_ID IN ('10000500') ;",
     {.answer = "success"}},
    {0, "products changes: inserted and changed products in the change log", Endpoint::Query,
     "SELECT PROD_ID FROM PRODUCT_TEMP WHERE MCH_NO = '001' AND STATE <> 'DELETE'  ",
     {.columns = {"PROD_ID"}, .min_rows = 2, .present = {{"PROD_ID", "10000001"}, {"PROD_ID", "10000002"}}}},
    {0, "products changes: fetch one product", Endpoint::Query,
     "SELECT  PROD_ID,PROD_NAME,PROD_ID2,PROD_SNAME,PROD_BARCODE,UNITNAME,SALE_PRICE,PSALE_PRICE,STD_COST,AVG_COST,PD_CLASSID,SAL_TAG,PD_ITEMID,VIP_PRICE,CR_PRICE,TAX_KIND,P_PU,P_PU2,MEM_DISCOUNT,P_PRICE,P_PRICE2,N_PRICE,FREE_TAX,HEA_TAX,POINT_YN,PROD_SCALE,STOCK_QTY,DEF_PROFIT,MS,PUT_ID  FROM PRODUCT WHERE PROD_ID = '10000001' ",
     {.columns = kProductColumns, .min_rows = 1, .max_rows = 1, .present = {{"PROD_ID", "10000001"}}, .types = kProductTypes}},
    {0, "products changes: fetch one product under the designated top category", Endpoint::Query,
     "SELECT  PROD_ID,PROD_NAME,PROD_ID2,PROD_SNAME,PROD_BARCODE,UNITNAME,SALE_PRICE,PSALE_PRICE,STD_COST,AVG_COST,PD_CLASSID,SAL_TAG,PD_ITEMID,VIP_PRICE,CR_PRICE,TAX_KIND,P_PU,P_PU2,MEM_DISCOUNT,P_PRICE,P_PRICE2,N_PRICE,FREE_TAX,HEA_TAX,POINT_YN,PROD_SCALE,STOCK_QTY,DEF_PROFIT,MS,PUT_ID  FROM PRODUCT WHERE PROD_ID = '10000001' "
     " AND PD_ITEMID IN ( "
     " SELECT A.PD_ITEMID FROM PROD_ITEM A INNER JOIN PROD_HIITEM B  "
     " ON A.PD_GRPID = B.PD_GRPID  "
     " LEFT OUTER JOIN PROD_TOPITEM C  "
     " ON C.TOP_ITEMID = B.TOP_ITEMID  "
     " WHERE C.TOP_ITEMID = '01') ",
     {.columns = kProductColumns, .min_rows = 1, .max_rows = 1, .present = {{"PROD_ID", "10000001"}}}},
    {0, "products changes: acknowledge the inserted and changed products taken", Endpoint::Statement,
     "DELETE FROM PRODUCT_TEMP WHERE MCH_NO = '001' AND STATE <> 'DELETE' AND PROD_ID IN ('10000001', '10000002')  ",
     {.answer = "OK"}},
    {0, "products full: deleted products in the change log (none left)", Endpoint::Query,
     "SELECT PROD_ID FROM PRODUCT_TEMP WHERE MCH_NO = '001' AND STATE = 'DELETE'  ",
     {.columns = {"PROD_ID"}, .min_rows = 0, .max_rows = 0}},
    {0, "products full: the whole product table", Endpoint::Query,
     "SELECT  PROD_ID,PROD_NAME,PROD_ID2,PROD_SNAME,PROD_BARCODE,UNITNAME,SALE_PRICE,PSALE_PRICE,STD_COST,AVG_COST,PD_CLASSID,SAL_TAG,PD_ITEMID,VIP_PRICE,CR_PRICE,TAX_KIND,P_PU,P_PU2,MEM_DISCOUNT,P_PRICE,P_PRICE2,N_PRICE,FREE_TAX,HEA_TAX,POINT_YN,PROD_SCALE,STOCK_QTY,DEF_PROFIT,MS,PUT_ID  FROM PRODUCT  ",
     {.columns = kProductColumns, .min_rows = 499, .present = {{"PROD_ID", "10000001"}}, .absent = {{"PROD_ID", "10000500"}}, .types = kProductTypes}},
    {0, "products full: the products under the designated top category", Endpoint::Query,
     "SELECT  PROD_ID,PROD_NAME,PROD_ID2,PROD_SNAME,PROD_BARCODE,UNITNAME,SALE_PRICE,PSALE_PRICE,STD_COST,AVG_COST,PD_CLASSID,SAL_TAG,PD_ITEMID,VIP_PRICE,CR_PRICE,TAX_KIND,P_PU,P_PU2,MEM_DISCOUNT,P_PRICE,P_PRICE2,N_PRICE,FREE_TAX,HEA_TAX,POINT_YN,PROD_SCALE,STOCK_QTY,DEF_PROFIT,MS,PUT_ID  FROM PRODUCT WHERE PD_ITEMID IN ( "
     " SELECT A.PD_ITEMID FROM PROD_ITEM A INNER JOIN PROD_HIITEM B  "
     " ON A.PD_GRPID = B.PD_GRPID  "
     " LEFT OUTER JOIN PROD_TOPITEM C  "
     " ON C.TOP_ITEMID = B.TOP_ITEMID  "
     " WHERE C.TOP_ITEMID = '01') ",
     {.columns = kProductColumns, .min_rows = 1, .present = {{"PROD_ID", "10000001"}}}},
    {1, "staff: every employee", Endpoint::Query,
     "SELECT EMPLOYEE_ID,EMPLOYEE_NAME,PASS_WD,CHK_CODE FROM EMPLOYEE ",
     {.columns = {"EMPLOYEE_ID", "EMPLOYEE_NAME", "PASS_WD", "CHK_CODE"}, .min_rows = 12, .max_rows = 12, .present = {{"EMPLOYEE_ID", "E0001"}}}},
    {2, "shifts: every shift", Endpoint::Query,
     "SELECT * FROM WRK_ITEM ",
     {.includes = {"WRK_NO", "WRK_NAME", "WRK_ALOW", "START_TIME", "END_TIME", "WORK_TIME"}, .min_rows = 4, .max_rows = 4, .present = {{"WRK_NO", "1"}, {"START_TIME", "07:00"}}}},
    {4, "invoice words: paper tracks by period", Endpoint::Query,
     "SELECT * FROM INV_WORD ORDER BY YY,MM ",
     {.includes = {"YY", "MM", "INV_WORD"}, .min_rows = 6, .max_rows = 6, .present = {{"YY", "113"}, {"MM", "05"}}}},
    {4, "invoice words: e-invoice ranges of the terminal", Endpoint::Query,
     "SELECT * FROM EINVOICE_WORD WHERE MCH_NO = '001' ",
     {.includes = {"MCH_NO", "EYY", "EMM", "EWORD", "BG_NUM", "ED_NUM", "CHG_DATE", "CHG_USER"}, .min_rows = 1, .present = {{"MCH_NO", "001"}, {"EYY", "113"}}, .absent = {{"MCH_NO", "002"}}}},
    {5, "bundle barcodes: every bundle", Endpoint::Query,
     "SELECT PROD_ID,SAL_BARCODE,SAL_NAME,PACK_QTY,SAL_UNITNAME,SAL_PRICE,VIP_PRICE FROM PROD_SALE ",
     {.columns = {"PROD_ID", "SAL_BARCODE", "SAL_NAME", "PACK_QTY", "SAL_UNITNAME", "SAL_PRICE", "VIP_PRICE"}, .min_rows = 1, .types = {{"PACK_QTY", "i4"}, {"SAL_PRICE", "r8"}, {"VIP_PRICE", "r8"}}}},
    {6, "promotions changes: take the deleted promotions", Endpoint::Script,
     "UPDATE PSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = '001' AND STATE = 'DELETE' ;",
     {.answer = "success"}},
    {6, "promotions changes: the taken entries", Endpoint::Query,
     "SELECT MASTERBILLID FROM PSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '001' AND STATE = 'DELETE' ",
     {.columns = {"MASTERBILLID"}, .min_rows = 1, .max_rows = 1, .present = {{"MASTERBILLID", "PS000005"}}}},
    {6, "promotions changes: remove the taken deleted promotions", Endpoint::Script,
     "delete from PSALE_TEMP where TRAN_CODE = 'W' and mch_no = '001' and STATE = 'DELETE' ;",
     {.answer = "success"}},
    {6, "promotions changes: take the inserted and changed promotions", Endpoint::Script,
     "UPDATE PSALE_TEMP SET TRAN_CODE = 'W' where mch_no = '001' and STATE <> 'DELETE' ;",
     {.answer = "success"}},
    {6, "promotions changes: the taken entries, all columns", Endpoint::Query,
     "SELECT * FROM PSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '001' ",
     {.includes = {"MCH_NO", "STATE", "TRAN_CODE", "MASTERBILLID"}, .min_rows = 1, .max_rows = 1, .present = {{"MASTERBILLID", "PS000001"}, {"TRAN_CODE", "W"}}}},
    {6, "promotions changes: lines of a changed promotion", Endpoint::Query,
     "SELECT A.MASTERBILLID,A.BILL_DATE,A.INI_DATE,A.END_DATE,REASON, "
     "       B.PROD_ID,B.PROD_NAME,B.PROD_BARCODE,B.PD_ITEMID,B.PSALE_FLAG, "
     "       B.PSALE_PRICE,B.OLD_PRICE,B.VIP_PRICE,B.N_QTY,B.G_PROD_ID,B.G_PROD_NAME, "
     "       B.G_QTY,B.STORE_ID,B.TEMPPRODID,B.SEC_DIS,A.OVER_AMT,B.PACK_QTY,B.PLIMIT_QTY,B.POINT_YN FROM PSALE_MASTER A INNER JOIN PSALE_SUB B "
     "   ON  A.MASTERBILLID = B.MASTERBILLID "
     " WHERE A.MASTERBILLID = 'PS000001' "
     " AND A.BILL_TYPE <> '2'  "
     " AND B.STOP_SALE = 'N'  ",
     {.columns = kPromotionLineColumns, .min_rows = 2, .present = {{"MASTERBILLID", "PS000001"}}, .types = kPromotionLineTypes}},
    {6, "promotions changes: remove the taken entries", Endpoint::Script,
     "DELETE FROM PSALE_TEMP where TRAN_CODE = 'W' and mch_no = '001' and state <> 'DELETE' ;",
     {.answer = "success"}},
    {6, "promotions full: lines of every current promotion", Endpoint::Query,
     "SELECT A.MASTERBILLID,A.BILL_DATE,A.INI_DATE,A.END_DATE,REASON, "
     "       B.PROD_ID,B.PROD_NAME,B.PROD_BARCODE,B.PD_ITEMID,B.PSALE_FLAG, "
     "       B.PSALE_PRICE,B.OLD_PRICE,B.VIP_PRICE,B.N_QTY,B.G_PROD_ID,B.G_PROD_NAME, "
     "       B.G_QTY,B.STORE_ID,B.TEMPPRODID,B.SEC_DIS,A.OVER_AMT,B.PACK_QTY,B.PLIMIT_QTY,B.POINT_YN FROM PSALE_MASTER A INNER JOIN PSALE_SUB B "
     "   ON  A.MASTERBILLID = B.MASTERBILLID "
     " WHERE '2024/05/31' BETWEEN A.INI_DATE AND A.END_DATE "
     " AND A.BILL_TYPE <> '2'  "
     " AND B.STOP_SALE = 'N'  ",
     {.columns = kPromotionLineColumns, .min_rows = 4, .present = {{"MASTERBILLID", "PS000001"}, {"MASTERBILLID", "PS000002"}, {"MASTERBILLID", "PS000003"}}, .absent = {{"MASTERBILLID", "PS000005"}, {"MASTERBILLID", "PS000006"}, {"MASTERBILLID", "PS000007"}, {"MASTERBILLID", "PS000008"}}}},
    {7, "members changes: deleted members in the change log", Endpoint::Query,
     "SELECT MEMBER_ID FROM MEMBER_TEMP WHERE MCH_NO = '001' AND STATE = 'DELETE'  ",
     {.columns = {"MEMBER_ID"}, .min_rows = 1, .present = {{"MEMBER_ID", "M0000200"}}}},
    {7, "members changes: acknowledge the deleted members taken", Endpoint::Script,
     "DELETE FROM MEMBER_TEMP WHERE MCH_NO = '001' AND STATE = 'DELETE' AND MEMBER_ID IN ('M0000200') ;",
     {.answer = "success"}},
    {7, "members changes: inserted and changed members in the change log", Endpoint::Query,
     "SELECT MEMBER_ID FROM MEMBER_TEMP WHERE MCH_NO = '001' AND (STATE = 'UPDATE' OR STATE = 'INSERT')  ",
     {.columns = {"MEMBER_ID"}, .min_rows = 1, .present = {{"MEMBER_ID", "M0000001"}}}},
    {7, "members changes: fetch one member with the class discount", Endpoint::Query,
     "SELECT A.MEMBER_ID, A.MEMBER_NAME, A.MEMBER_PHONE, A.MEMBER_ADD, A.MEMBER_BIRTHDAY, A.SERVICE_ID, A.SERVICE_NAME,  "
     "       A.JOB_TITLE, A.TOTAL_AMT, A.CARD_ID, A.INI_DATE, A.END_DATE, A.E_MAIL, A.DISABLE_FLAG, A.MAIL_NUM, A.MOBILE_PHONE,  "
     "       A.NOTE, A.LEAVE_DATE, A.S_NO, A.STOCK_NUM, A.CHG_DATE, A.CHG_USER, A.MEMBER_CLASSID, A.DISCOUNT, A.ID_NO,  "
     "       A.TAX_CODE, A.MAN_SALE, A.CHG_TIME, A.SEX, A.INVOICE_CLASS, A.UPPER_AMT, A.SHET_YN, A.MEMBER_PHONE2, A.PASS_WD,  "
     "       A.SALES_ID, A.MADD_CASH, A.ADD_RATE, A.CUST_ID, A.PRICE_FLAG, A.SELECT_YN, A.BANK_ID, A.BANK_NAME, A.BANK_TITLE,  "
     "       A.BANK_ACCID, A.USE_AMT, A.TOTAL_POINT, A.USE_POINT, A.U_DATE, A.VIP_OK, A.MEMBER_ITEMID, A.AREA, A.BOSS_NAME,  "
     "       A.BUSINESS_NUM, A.CORP_TEL, A.DM_YN, A.FAX_NUM, A.BEFORE_POINT, A.OLD_ID, A.DEL_DATE,B.IDIS FROM MEMBER A LEFT OUTER JOIN MEMBER_CLASS B  "
     "       ON A.MEMBER_CLASSID = B.CLASS_ID  "
     "       WHERE A.MEMBER_ID = 'M0000001' ",
     {.columns = kMemberColumns, .min_rows = 1, .max_rows = 1, .present = {{"MEMBER_ID", "M0000001"}}, .types = kMemberTypes}},
    {7, "member cards: sub-cards of one member", Endpoint::Query,
     "SELECT * FROM VIPCARD_SUB WHERE MEMBER_ID = 'M0000001' ",
     {.includes = kSubCardColumns, .min_rows = 1, .present = {{"MEMBER_ID", "M0000001"}}, .types = {{"ADD_RATE", "r8"}}}},
    {7, "members changes: acknowledge the inserted and changed members taken", Endpoint::Script,
     "DELETE FROM MEMBER_TEMP WHERE MCH_NO = '001' AND STATE <> 'DELETE' AND MEMBER_ID IN ('M0000001') ;",
     {.answer = "success"}},
    {7, "members changes: entries of other states in the change log", Endpoint::Query,
     "SELECT MEMBER_ID FROM MEMBER_TEMP WHERE MCH_NO = '001' AND STATE <> 'DELETE' AND STATE <> 'UPDATE' AND STATE <> 'INSERT' ",
     {.columns = {"MEMBER_ID"}, .min_rows = 1, .max_rows = 1, .present = {{"MEMBER_ID", "M0000002"}}}},
    {7, "members changes: remove the entries of other states listed", Endpoint::Script,
     "DELETE FROM MEMBER_TEMP WHERE MCH_NO = '001' AND STATE <> 'DELETE' AND STATE <> 'UPDATE' AND STATE <> 'INSERT' AND MEMBER_ID IN ('M0000002') ;",
     {.answer = "success"}},
    {7, "member cards: class discounts", Endpoint::Query,
     "SELECT MEM_CLASSID,PD_CLASSID,PD_CLASSNAME,DISCOUNT,REMARK FROM MEMLEVEL_PDCLASS_DIS ",
     {.columns = {"MEM_CLASSID", "PD_CLASSID", "PD_CLASSNAME", "DISCOUNT", "REMARK"}, .min_rows = 1, .types = {{"DISCOUNT", "r8"}}}},
    {7, "members full: deleted members in the change log (none left)", Endpoint::Query,
     "SELECT MEMBER_ID FROM MEMBER_TEMP WHERE MCH_NO = '001' AND STATE = 'DELETE'  ",
     {.columns = {"MEMBER_ID"}, .min_rows = 0, .max_rows = 0}},
    {7, "members full: the change-log entries before the members are fetched", Endpoint::Query,
     "SELECT MEMBER_ID FROM MEMBER_TEMP WHERE MCH_NO = '001' AND STATE <> 'DELETE'  ",
     {.columns = {"MEMBER_ID"}, .min_rows = 0}},
    {7, "members full: every member with the class discount", Endpoint::Query,
     "SELECT A.MEMBER_ID, A.MEMBER_NAME, A.MEMBER_PHONE, A.MEMBER_ADD, A.MEMBER_BIRTHDAY, A.SERVICE_ID, A.SERVICE_NAME,  "
     "       A.JOB_TITLE, A.TOTAL_AMT, A.CARD_ID, A.INI_DATE, A.END_DATE, A.E_MAIL, A.DISABLE_FLAG, A.MAIL_NUM, A.MOBILE_PHONE,  "
     "       A.NOTE, A.LEAVE_DATE, A.S_NO, A.STOCK_NUM, A.CHG_DATE, A.CHG_USER, A.MEMBER_CLASSID, A.DISCOUNT, A.ID_NO,  "
     "       A.TAX_CODE, A.MAN_SALE, A.CHG_TIME, A.SEX, A.INVOICE_CLASS, A.UPPER_AMT, A.SHET_YN, A.MEMBER_PHONE2, A.PASS_WD,  "
     "       A.SALES_ID, A.MADD_CASH, A.ADD_RATE, A.CUST_ID, A.PRICE_FLAG, A.SELECT_YN, A.BANK_ID, A.BANK_NAME, A.BANK_TITLE,  "
     "       A.BANK_ACCID, A.USE_AMT, A.TOTAL_POINT, A.USE_POINT, A.U_DATE, A.VIP_OK, A.MEMBER_ITEMID, A.AREA, A.BOSS_NAME,  "
     "       A.BUSINESS_NUM, A.CORP_TEL, A.DM_YN, A.FAX_NUM, A.BEFORE_POINT, A.OLD_ID, A.DEL_DATE,B.IDIS FROM MEMBER A LEFT OUTER JOIN MEMBER_CLASS B  "
     "       ON A.MEMBER_CLASSID = B.CLASS_ID  ",
     {.columns = kMemberColumns, .min_rows = 199, .present = {{"MEMBER_ID", "M0000001"}}}},
    {7, "members full: remove the change-log entries listed before the fetch", Endpoint::Script,
     "DELETE FROM MEMBER_TEMP WHERE MCH_NO = '001' AND STATE <> 'DELETE' AND MEMBER_ID IN ('M0000001') ",
     {.answer = "success"}},
    {8, "any-choice changes: take the deleted bills", Endpoint::Statement,
     "UPDATE PTSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = '001' AND STATE = 'DELETE'  ",
     {.answer = "OK"}},
    {8, "any-choice changes: the taken entries", Endpoint::Query,
     "SELECT MASTERBILLID FROM PTSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '001' AND STATE = 'DELETE' ",
     {.columns = {"MASTERBILLID"}, .min_rows = 1, .max_rows = 1, .present = {{"MASTERBILLID", "PT000003"}}}},
    {8, "any-choice changes: remove the taken deleted bills", Endpoint::Statement,
     "DELETE FROM PTSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '001' AND STATE = 'DELETE'  ",
     {.answer = "OK"}},
    {8, "any-choice changes: take the inserted and changed bills", Endpoint::Statement,
     "UPDATE PTSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = '001' AND STATE <> 'DELETE'  ",
     {.answer = "OK"}},
    {8, "any-choice changes: the taken entries, all columns", Endpoint::Query,
     "SELECT * FROM PTSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '001' ",
     {.includes = {"MCH_NO", "STATE", "TRAN_CODE", "MASTERBILLID"}, .min_rows = 1, .max_rows = 1, .present = {{"MASTERBILLID", "PT000001"}}}},
    {8, "any-choice changes: lines of a changed bill", Endpoint::Query,
     "SELECT A.BILL_DATE,A.MASTERBILLID,A.PRO_ID, "
     "A.INI_DATE,A.INI_TIME,A.END_DATE,A.END_TIME,A.PTSALE_CLASS,A.PTSALE_QTY, "
     "A.PTSALE_PRICE,A.PTSALE_DIS,A.CHG_DATE,A.CHG_USER,A.REMARK,B.PROD_ID, "
     "B.PROD_BARCODE,B.PROD_NAME,B.PROVIDER_ID,B.TEMPPRODID,A.SEC_DIS,A.POINT_YN FROM PTSALE_MASTER A  "
     "INNER JOIN PTSALE_SUB B ON A.MASTERBILLID = B.MASTERBILLID  "
     "WHERE A.MASTERBILLID = 'PT000001' ",
     {.columns = kAnyChoiceColumns, .min_rows = 3, .present = {{"MASTERBILLID", "PT000001"}}, .types = {{"PTSALE_QTY", "i4"}, {"PTSALE_PRICE", "r8"}, {"PTSALE_DIS", "r8"}}}},
    {8, "any-choice changes: remove the taken entries", Endpoint::Statement,
     "DELETE FROM PTSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '001' AND STATE <> 'DELETE'  ",
     {.answer = "OK"}},
    {8, "any-choice full: lines of every current bill", Endpoint::Query,
     "SELECT A.BILL_DATE,A.MASTERBILLID,A.PRO_ID, "
     "A.INI_DATE,A.INI_TIME,A.END_DATE,A.END_TIME,A.PTSALE_CLASS,A.PTSALE_QTY, "
     "A.PTSALE_PRICE,A.PTSALE_DIS,A.CHG_DATE,A.CHG_USER,A.REMARK,B.PROD_ID, "
     "B.PROD_BARCODE,B.PROD_NAME,B.PROVIDER_ID,B.TEMPPRODID,A.SEC_DIS,A.POINT_YN FROM PTSALE_MASTER A  "
     "INNER JOIN PTSALE_SUB B ON A.MASTERBILLID = B.MASTERBILLID  "
     " WHERE '2024/05/31' BETWEEN A.INI_DATE AND A.END_DATE ",
     {.columns = kAnyChoiceColumns, .min_rows = 3, .present = {{"MASTERBILLID", "PT000001"}, {"MASTERBILLID", "PT000002"}}, .absent = {{"MASTERBILLID", "PT000003"}, {"MASTERBILLID", "PT000004"}}}},
    {9, "machines: every machine", Endpoint::Query,
     "SELECT * FROM MCH_ITEM  ",
     {.includes = {"MCH_NO", "MCH_IP", "MCH_NAME"}, .min_rows = 2, .max_rows = 2, .present = {{"MCH_NO", "001"}, {"MCH_NO", "002"}}}},
    {10, "keyboard: keys", Endpoint::Query,
     "SELECT * FROM LOC_KEY_MAP  ",
     {.includes = {"ID_NO", "PDC_NO", "PDC_NAME", "MEMO"}, .min_rows = 1, .present = {{"ID_NO", "K01"}}}},
    {10, "keyboard: products under the keys", Endpoint::Query,
     "SELECT * FROM LOC_KEY_MAP_SUB ",
     {.includes = {"ID_NO", "PDC_NO", "PDC_NAME", "MEMO"}, .min_rows = 1, .present = {{"ID_NO", "K01"}}}},
    {11, "member discounts: every level", Endpoint::Query,
     "SELECT * FROM MEMDIS_LEVEL ",
     {.includes = {"CLASS_ID", "LEVEL_ID", "LO_AMT", "HI_AMT", "I_DISCOUNT"}, .min_rows = 1, .types = {{"LEVEL_ID", "i4"}, {"LO_AMT", "r8"}, {"I_DISCOUNT", "r8"}}}},
    {12, "points: settings from today on", Endpoint::Query,
     "SELECT * FROM POINT_SET  "
     " WHERE INI_DATE >= '2024/05/31' "
     " ORDER BY INI_DATE  ",
     {.includes = {"INI_DATE", "SAL_AMT", "CHG_POINT", "CHG_DATE", "CHG_USER"}, .min_rows = 3, .max_rows = 3, .present = {{"INI_DATE", "2024/05/31"}}, .absent = {{"INI_DATE", "2024/03/02"}}}},
    {12, "gifts changes: take the deleted promotions", Endpoint::Statement,
     "UPDATE GSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = '001' AND STATE = 'DELETE'  ",
     {.answer = "OK"}},
    {12, "gifts changes: the taken entries", Endpoint::Query,
     "SELECT MASTERBILLID FROM GSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '001' AND STATE = 'DELETE' ",
     {.columns = {"MASTERBILLID"}, .min_rows = 1, .max_rows = 1, .present = {{"MASTERBILLID", "GS000004"}}}},
    {12, "gifts changes: remove the taken deleted promotions", Endpoint::Statement,
     "DELETE FROM GSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '001' AND STATE = 'DELETE'  ",
     {.answer = "OK"}},
    {12, "gifts changes: take the inserted and changed promotions", Endpoint::Statement,
     "UPDATE GSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = '001' AND STATE <> 'DELETE'  ",
     {.answer = "OK"}},
    {12, "gifts changes: the taken entries, all columns", Endpoint::Query,
     "SELECT * FROM GSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '001' ",
     {.includes = {"MCH_NO", "STATE", "TRAN_CODE", "MASTERBILLID"}, .min_rows = 1, .max_rows = 1, .present = {{"MASTERBILLID", "GS000001"}}}},
    {12, "gifts changes: lines of a changed promotion", Endpoint::Query,
     "SELECT A.MASTERBILLID,A.BILL_DATE,A.INI_DATE,A.END_DATE,REASON, "
     "       B.PROD_ID,B.PROD_NAME,B.PROD_BARCODE,B.PD_ITEMID,B.PSALE_FLAG, "
     "       B.PSALE_PRICE,B.OLD_PRICE,B.VIP_PRICE,B.N_QTY,B.G_PROD_ID,B.G_PROD_NAME, "
     "       B.G_QTY,B.STORE_ID,B.TEMPPRODID,B.SEC_DIS,A.OVER_AMT FROM GSALE_MASTER A INNER JOIN GSALE_SUB B "
     "   ON  A.MASTERBILLID = B.MASTERBILLID "
     " WHERE A.MASTERBILLID = 'GS000001' "
     " AND A.BILL_TYPE <> '2'  ",
     {.columns = kGiftLineColumns, .min_rows = 1, .present = {{"MASTERBILLID", "GS000001"}}, .types = {{"N_QTY", "i4"}, {"G_QTY", "i4"}, {"OVER_AMT", "i4"}, {"PSALE_PRICE", "r8"}}}},
    {12, "gifts changes: remove the taken entries", Endpoint::Statement,
     "DELETE FROM GSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = '001' AND STATE <> 'DELETE'  ",
     {.answer = "OK"}},
    {12, "gifts full: lines of every current promotion", Endpoint::Query,
     "SELECT A.MASTERBILLID,A.BILL_DATE,A.INI_DATE,A.END_DATE,REASON, "
     "       B.PROD_ID,B.PROD_NAME,B.PROD_BARCODE,B.PD_ITEMID,B.PSALE_FLAG, "
     "       B.PSALE_PRICE,B.OLD_PRICE,B.VIP_PRICE,B.N_QTY,B.G_PROD_ID,B.G_PROD_NAME, "
     "       B.G_QTY,B.STORE_ID,B.TEMPPRODID,B.SEC_DIS,A.OVER_AMT FROM GSALE_MASTER A INNER JOIN GSALE_SUB B "
     "   ON  A.MASTERBILLID = B.MASTERBILLID "
     " WHERE '2024/05/31' BETWEEN A.INI_DATE AND A.END_DATE "
     " AND A.BILL_TYPE <> '2'  ",
     {.columns = kGiftLineColumns, .min_rows = 3, .present = {{"MASTERBILLID", "GS000001"}, {"MASTERBILLID", "GS000002"}}, .absent = {{"MASTERBILLID", "GS000004"}, {"MASTERBILLID", "GS000005"}, {"MASTERBILLID", "GS000006"}}}},
    {14, "card stops: every stopped card", Endpoint::Query,
     "SELECT * FROM SMARTCARD_DATA WHERE STOP_YN = 'Y'  ",
     {.includes = {"MEMBER_ID", "PIN_CODE", "CR_DATE", "CHG_DATE"}, .min_rows = 1, .present = {{"MEMBER_ID", "M0000001"}}, .absent = {{"STOP_YN", "N"}}}},
  };
  return statements;
}

const std::vector<std::string>& fixture_setup() {
  static const std::vector<std::string> lines = {
      "DELETE FROM PRODUCT WHERE PROD_ID = '10000500'",
      "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', '10000500', 'DELETE')",
      "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', '10000001', 'UPDATE')",
      "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('001', '10000002', 'INSERT')",
      "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('002', '10000001', 'UPDATE')",
      "DELETE FROM VIPCARD_SUB WHERE MEMBER_ID = 'M0000200'",
      "DELETE FROM SMARTCARD_DATA WHERE MEMBER_ID = 'M0000200'",
      "DELETE FROM MEMBER WHERE MEMBER_ID = 'M0000200'",
      "INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES ('001', 'M0000200', 'DELETE')",
      "INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES ('001', 'M0000001', 'UPDATE')",
      "INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES ('002', 'M0000001', 'UPDATE')",
      "INSERT INTO MEMBER_TEMP (MCH_NO, MEMBER_ID, STATE) VALUES ('001', 'M0000002', 'CHANGE')",
      "INSERT INTO PSALE_TEMP (MCH_NO, MASTERBILLID, STATE, TRAN_CODE) VALUES ('001', 'PS000005', 'DELETE', '')",
      "INSERT INTO PSALE_TEMP (MCH_NO, MASTERBILLID, STATE, TRAN_CODE) VALUES ('001', 'PS000001', 'UPDATE', '')",
      "INSERT INTO PSALE_TEMP (MCH_NO, MASTERBILLID, STATE, TRAN_CODE) VALUES ('002', 'PS000001', 'UPDATE', '')",
      "INSERT INTO PTSALE_TEMP (MCH_NO, MASTERBILLID, STATE, TRAN_CODE) VALUES ('001', 'PT000003', 'DELETE', '')",
      "INSERT INTO PTSALE_TEMP (MCH_NO, MASTERBILLID, STATE, TRAN_CODE) VALUES ('001', 'PT000001', 'UPDATE', '')",
      "INSERT INTO PTSALE_TEMP (MCH_NO, MASTERBILLID, STATE, TRAN_CODE) VALUES ('002', 'PT000001', 'UPDATE', '')",
      "INSERT INTO GSALE_TEMP (MCH_NO, MASTERBILLID, STATE, TRAN_CODE) VALUES ('001', 'GS000004', 'DELETE', '')",
      "INSERT INTO GSALE_TEMP (MCH_NO, MASTERBILLID, STATE, TRAN_CODE) VALUES ('001', 'GS000001', 'UPDATE', '')",
      "INSERT INTO GSALE_TEMP (MCH_NO, MASTERBILLID, STATE, TRAN_CODE) VALUES ('002', 'GS000001', 'UPDATE', '')",
  };
  return lines;
}

// clang-format on
}  // namespace pos::test
