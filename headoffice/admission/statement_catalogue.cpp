#include "headoffice/admission/statement_catalogue.h"

#include <stdexcept>
#include <utility>

namespace pos::headoffice {
namespace {

constexpr unsigned Q = static_cast<unsigned>(Endpoint::Query);
constexpr unsigned S = static_cast<unsigned>(Endpoint::Script);
constexpr unsigned QS = Q | S;  // a removal of keys: a script when a key has small letters

// clang-format off
constexpr std::pair<std::string_view, std::string_view> kFragments[] = {
  {"{product columns}",
   "PROD_ID,PROD_NAME,PROD_ID2,PROD_SNAME,PROD_BARCODE,UNITNAME,SALE_PRICE,PSALE_PRICE,STD_COST,AVG_COST,PD_CLASSID,"
   "SAL_TAG,PD_ITEMID,VIP_PRICE,CR_PRICE,TAX_KIND,P_PU,P_PU2,MEM_DISCOUNT,P_PRICE,P_PRICE2,N_PRICE,FREE_TAX,HEA_TAX,"
   "POINT_YN,PROD_SCALE,STOCK_QTY,DEF_PROFIT,MS,PUT_ID"},
  {"{top category}",
   "PD_ITEMID IN ( SELECT A.PD_ITEMID FROM PROD_ITEM A INNER JOIN PROD_HIITEM B ON A.PD_GRPID = B.PD_GRPID "
   "LEFT OUTER JOIN PROD_TOPITEM C ON C.TOP_ITEMID = B.TOP_ITEMID WHERE C.TOP_ITEMID = {value})"},
  {"{members}",
   "SELECT A.MEMBER_ID, A.MEMBER_NAME, A.MEMBER_PHONE, A.MEMBER_ADD, A.MEMBER_BIRTHDAY, A.SERVICE_ID, A.SERVICE_NAME, "
   "A.JOB_TITLE, A.TOTAL_AMT, A.CARD_ID, A.INI_DATE, A.END_DATE, A.E_MAIL, A.DISABLE_FLAG, A.MAIL_NUM, A.MOBILE_PHONE, "
   "A.NOTE, A.LEAVE_DATE, A.S_NO, A.STOCK_NUM, A.CHG_DATE, A.CHG_USER, A.MEMBER_CLASSID, A.DISCOUNT, A.ID_NO, "
   "A.TAX_CODE, A.MAN_SALE, A.CHG_TIME, A.SEX, A.INVOICE_CLASS, A.UPPER_AMT, A.SHET_YN, A.MEMBER_PHONE2, A.PASS_WD, "
   "A.SALES_ID, A.MADD_CASH, A.ADD_RATE, A.CUST_ID, A.PRICE_FLAG, A.SELECT_YN, A.BANK_ID, A.BANK_NAME, A.BANK_TITLE, "
   "A.BANK_ACCID, A.USE_AMT, A.TOTAL_POINT, A.USE_POINT, A.U_DATE, A.VIP_OK, A.MEMBER_ITEMID, A.AREA, A.BOSS_NAME, "
   "A.BUSINESS_NUM, A.CORP_TEL, A.DM_YN, A.FAX_NUM, A.BEFORE_POINT, A.OLD_ID, A.DEL_DATE,B.IDIS FROM MEMBER A "
   "LEFT OUTER JOIN MEMBER_CLASS B ON A.MEMBER_CLASSID = B.CLASS_ID"},
  {"{sale lines}",
   "SELECT A.MASTERBILLID,A.BILL_DATE,A.INI_DATE,A.END_DATE,REASON, B.PROD_ID,B.PROD_NAME,B.PROD_BARCODE,B.PD_ITEMID,"
   "B.PSALE_FLAG, B.PSALE_PRICE,B.OLD_PRICE,B.VIP_PRICE,B.N_QTY,B.G_PROD_ID,B.G_PROD_NAME, B.G_QTY,B.STORE_ID,"
   "B.TEMPPRODID,B.SEC_DIS,A.OVER_AMT,B.PACK_QTY,B.PLIMIT_QTY,B.POINT_YN FROM PSALE_MASTER A INNER JOIN PSALE_SUB B "
   "ON A.MASTERBILLID = B.MASTERBILLID"},
  {"{gift lines}",
   "SELECT A.MASTERBILLID,A.BILL_DATE,A.INI_DATE,A.END_DATE,REASON, B.PROD_ID,B.PROD_NAME,B.PROD_BARCODE,B.PD_ITEMID,"
   "B.PSALE_FLAG, B.PSALE_PRICE,B.OLD_PRICE,B.VIP_PRICE,B.N_QTY,B.G_PROD_ID,B.G_PROD_NAME, B.G_QTY,B.STORE_ID,"
   "B.TEMPPRODID,B.SEC_DIS,A.OVER_AMT FROM GSALE_MASTER A INNER JOIN GSALE_SUB B ON A.MASTERBILLID = B.MASTERBILLID"},
  {"{bill lines}",
   "SELECT A.BILL_DATE,A.MASTERBILLID,A.PRO_ID, A.INI_DATE,A.INI_TIME,A.END_DATE,A.END_TIME,A.PTSALE_CLASS,"
   "A.PTSALE_QTY, A.PTSALE_PRICE,A.PTSALE_DIS,A.CHG_DATE,A.CHG_USER,A.REMARK,B.PROD_ID, B.PROD_BARCODE,B.PROD_NAME,"
   "B.PROVIDER_ID,B.TEMPPRODID,A.SEC_DIS,A.POINT_YN FROM PTSALE_MASTER A INNER JOIN PTSALE_SUB B "
   "ON A.MASTERBILLID = B.MASTERBILLID"},
};

constexpr CatalogueLine kLines[] = {
  {Q, "run: opening check; products: designated top category", "SELECT * FROM MCH_ITEM WHERE MCH_NO = {machine}", RunMark::Opens},

  {Q, "categories", "SELECT A.PD_ITEMID,A.PD_ITEMNAME,B.PD_GRPID,B.PD_GRPNAME,C.TOP_ITEMID,C.TOP_ITEMNAME,A.M_SHOW,D.PD_DEPID,D.PD_DEPNAME FROM PROD_ITEM A LEFT OUTER JOIN PROD_HIITEM B ON A.PD_GRPID = B.PD_GRPID LEFT OUTER JOIN PROD_TOPITEM C ON C.TOP_ITEMID = B.TOP_ITEMID LEFT OUTER JOIN PROD_DEPART D ON D.PD_DEPID = C.PD_DEPID"},

  {Q, "products: deleted entries", "SELECT PROD_ID FROM PRODUCT_TEMP WHERE MCH_NO = {machine} AND STATE = 'DELETE'"},
  {S, "products: deleted entries removed", "DELETE FROM PRODUCT_TEMP WHERE MCH_NO = {machine} AND STATE = 'DELETE' AND PROD_ID IN {values} ;"},
  {Q, "products: changed entries", "SELECT PROD_ID FROM PRODUCT_TEMP WHERE MCH_NO = {machine} AND STATE <> 'DELETE'"},
  {Q, "products: a changed product", "SELECT {product columns} FROM PRODUCT WHERE PROD_ID = {value}"},
  {Q, "products: changed products (batch=1)", "SELECT {product columns} FROM PRODUCT WHERE PROD_ID IN {values}"},
  {Q, "products: a changed product of the top category", "SELECT {product columns} FROM PRODUCT WHERE PROD_ID = {value} AND {top category}"},
  {Q, "products: changed products of the top category (batch=1)", "SELECT {product columns} FROM PRODUCT WHERE PROD_ID IN {values} AND {top category}"},
  {Q, "products: a changed product whose key has small letters", "SELECT {product columns} FROM PRODUCT WHERE UPPER(PROD_ID) = {value}"},
  {Q, "products: a changed product of the top category whose key has small letters", "SELECT {product columns} FROM PRODUCT WHERE UPPER(PROD_ID) = {value} AND {top category}"},
  {QS, "products: changed entries removed", "DELETE FROM PRODUCT_TEMP WHERE MCH_NO = {machine} AND STATE <> 'DELETE' AND PROD_ID IN {values}"},
  {Q, "products: every product", "SELECT {product columns} FROM PRODUCT"},
  {Q, "products: every product of the top category", "SELECT {product columns} FROM PRODUCT WHERE {top category}"},

  {Q, "staff", "SELECT EMPLOYEE_ID,EMPLOYEE_NAME,PASS_WD,CHK_CODE FROM EMPLOYEE"},
  {Q, "shifts", "SELECT * FROM WRK_ITEM"},
  {Q, "invoice words", "SELECT * FROM INV_WORD ORDER BY YY,MM"},
  {Q, "invoice words: e-invoice ranges", "SELECT * FROM EINVOICE_WORD WHERE MCH_NO = {machine}"},
  {Q, "bundle barcodes", "SELECT PROD_ID,SAL_BARCODE,SAL_NAME,PACK_QTY,SAL_UNITNAME,SAL_PRICE,VIP_PRICE FROM PROD_SALE"},

  {S, "sales promotions: deleted entries marked", "UPDATE PSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = {machine} AND STATE = 'DELETE' ;"},
  {Q, "sales promotions: marked deleted entries", "SELECT MASTERBILLID FROM PSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine} AND STATE = 'DELETE'"},
  {S, "sales promotions: marked deleted entries removed", "DELETE FROM PSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine} AND STATE = 'DELETE' ;"},
  {S, "sales promotions: changed entries marked", "UPDATE PSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = {machine} AND STATE <> 'DELETE' ;"},
  {Q, "sales promotions: marked entries", "SELECT * FROM PSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine}"},
  {Q, "sales promotions: a promotion's lines", "{sale lines} WHERE A.MASTERBILLID = {value} AND A.BILL_TYPE <> '2' AND B.STOP_SALE = 'N'"},
  {Q, "sales promotions: promotions' lines (batch=1)", "{sale lines} WHERE A.MASTERBILLID IN {values} AND A.BILL_TYPE <> '2' AND B.STOP_SALE = 'N'"},
  {Q, "sales promotions: the lines of a promotion whose key has small letters", "{sale lines} WHERE UPPER(A.MASTERBILLID) = {value} AND A.BILL_TYPE <> '2' AND B.STOP_SALE = 'N'"},
  {S, "sales promotions: marked changed entries removed", "DELETE FROM PSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine} AND STATE <> 'DELETE' ;"},
  {S, "sales promotions: marked changed entries removed by name", "DELETE FROM PSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine} AND STATE <> 'DELETE' AND MASTERBILLID IN {values} ;"},
  {Q, "sales promotions: current lines", "{sale lines} WHERE {value} BETWEEN A.INI_DATE AND A.END_DATE AND A.BILL_TYPE <> '2' AND B.STOP_SALE = 'N'"},

  {Q, "members: deleted entries", "SELECT MEMBER_ID FROM MEMBER_TEMP WHERE MCH_NO = {machine} AND STATE = 'DELETE'"},
  {S, "members: deleted entries removed", "DELETE FROM MEMBER_TEMP WHERE MCH_NO = {machine} AND STATE = 'DELETE' AND MEMBER_ID IN {values} ;"},
  {Q, "members: changed entries", "SELECT MEMBER_ID FROM MEMBER_TEMP WHERE MCH_NO = {machine} AND (STATE = 'UPDATE' OR STATE = 'INSERT')"},
  {Q, "members: a changed member", "{members} WHERE A.MEMBER_ID = {value}"},
  {Q, "members: changed members (batch=1)", "{members} WHERE A.MEMBER_ID IN {values}"},
  {Q, "members: a changed member whose key has small letters", "{members} WHERE UPPER(A.MEMBER_ID) = {value}"},
  {Q, "members: a member's sub-cards", "SELECT * FROM VIPCARD_SUB WHERE MEMBER_ID = {value}"},
  {Q, "members: members' sub-cards (batch=1)", "SELECT * FROM VIPCARD_SUB WHERE MEMBER_ID IN {values}"},
  {Q, "members: the sub-cards of a member whose key has small letters", "SELECT * FROM VIPCARD_SUB WHERE UPPER(MEMBER_ID) = {value}"},
  {S, "members: changed entries removed (and, in a full update, those listed before the fetch)", "DELETE FROM MEMBER_TEMP WHERE MCH_NO = {machine} AND STATE <> 'DELETE' AND MEMBER_ID IN {values} ;"},
  {Q, "members: entries of other states", "SELECT MEMBER_ID FROM MEMBER_TEMP WHERE MCH_NO = {machine} AND STATE <> 'DELETE' AND STATE <> 'UPDATE' AND STATE <> 'INSERT'"},
  {S, "members: entries of other states removed", "DELETE FROM MEMBER_TEMP WHERE MCH_NO = {machine} AND STATE <> 'DELETE' AND STATE <> 'UPDATE' AND STATE <> 'INSERT' AND MEMBER_ID IN {values} ;"},
  {Q, "members: entries before the full fetch", "SELECT MEMBER_ID FROM MEMBER_TEMP WHERE MCH_NO = {machine} AND STATE <> 'DELETE'"},
  {Q, "members: every member", "{members}"},
  {Q, "member cards: class discounts", "SELECT MEM_CLASSID,PD_CLASSID,PD_CLASSNAME,DISCOUNT,REMARK FROM MEMLEVEL_PDCLASS_DIS"},

  {Q, "any-choice promotions: deleted entries marked", "UPDATE PTSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = {machine} AND STATE = 'DELETE'"},
  {Q, "any-choice promotions: marked deleted entries", "SELECT MASTERBILLID FROM PTSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine} AND STATE = 'DELETE'"},
  {Q, "any-choice promotions: marked deleted entries removed", "DELETE FROM PTSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine} AND STATE = 'DELETE'"},
  {Q, "any-choice promotions: changed entries marked", "UPDATE PTSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = {machine} AND STATE <> 'DELETE'"},
  {Q, "any-choice promotions: marked entries", "SELECT * FROM PTSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine}"},
  {Q, "any-choice promotions: a bill's lines", "{bill lines} WHERE A.MASTERBILLID = {value}"},
  {Q, "any-choice promotions: bills' lines (batch=1)", "{bill lines} WHERE A.MASTERBILLID IN {values}"},
  {Q, "any-choice promotions: the lines of a bill whose key has small letters", "{bill lines} WHERE UPPER(A.MASTERBILLID) = {value}"},
  {Q, "any-choice promotions: marked changed entries removed", "DELETE FROM PTSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine} AND STATE <> 'DELETE'"},
  {QS, "any-choice promotions: marked changed entries removed by name", "DELETE FROM PTSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine} AND STATE <> 'DELETE' AND MASTERBILLID IN {values}"},
  {Q, "any-choice promotions: current lines", "{bill lines} WHERE {value} BETWEEN A.INI_DATE AND A.END_DATE"},

  {Q, "machines", "SELECT * FROM MCH_ITEM"},
  {Q, "keyboard maps: keys", "SELECT * FROM LOC_KEY_MAP"},
  {Q, "keyboard maps: products under the keys", "SELECT * FROM LOC_KEY_MAP_SUB"},
  {Q, "member discount levels", "SELECT * FROM MEMDIS_LEVEL"},
  {Q, "points settings", "SELECT * FROM POINT_SET WHERE INI_DATE >= {value} ORDER BY INI_DATE"},

  {Q, "gift promotions: deleted entries marked", "UPDATE GSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = {machine} AND STATE = 'DELETE'"},
  {Q, "gift promotions: marked deleted entries", "SELECT MASTERBILLID FROM GSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine} AND STATE = 'DELETE'"},
  {Q, "gift promotions: marked deleted entries removed", "DELETE FROM GSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine} AND STATE = 'DELETE'"},
  {Q, "gift promotions: changed entries marked", "UPDATE GSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = {machine} AND STATE <> 'DELETE'"},
  {Q, "gift promotions: marked entries", "SELECT * FROM GSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine}"},
  {Q, "gift promotions: a promotion's lines", "{gift lines} WHERE A.MASTERBILLID = {value} AND A.BILL_TYPE <> '2'"},
  {Q, "gift promotions: promotions' lines (batch=1)", "{gift lines} WHERE A.MASTERBILLID IN {values} AND A.BILL_TYPE <> '2'"},
  {Q, "gift promotions: the lines of a promotion whose key has small letters", "{gift lines} WHERE UPPER(A.MASTERBILLID) = {value} AND A.BILL_TYPE <> '2'"},
  {Q, "gift promotions: marked changed entries removed", "DELETE FROM GSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine} AND STATE <> 'DELETE'"},
  {QS, "gift promotions: marked changed entries removed by name", "DELETE FROM GSALE_TEMP WHERE TRAN_CODE = 'W' AND MCH_NO = {machine} AND STATE <> 'DELETE' AND MASTERBILLID IN {values}"},
  {Q, "gift promotions: current lines", "{gift lines} WHERE {value} BETWEEN A.INI_DATE AND A.END_DATE AND A.BILL_TYPE <> '2'"},

  {Q, "stored-value card stops (the run's last job)", "SELECT * FROM SMARTCARD_DATA WHERE STOP_YN = 'Y'", RunMark::Ends},
};
// clang-format on

}  // namespace

std::span<const CatalogueLine> statement_catalogue() { return kLines; }

std::string expanded_text(const CatalogueLine& line) {
  std::string text(line.text);
  for (const auto& [name, body] : kFragments) {
    for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at + body.size()))
      text.replace(at, name.size(), body);
  }
  return text;
}

bool reaches(const CatalogueLine& line, Endpoint e) { return (line.endpoints & static_cast<unsigned>(e)) != 0; }

}  // namespace pos::headoffice
