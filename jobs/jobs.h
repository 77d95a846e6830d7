#pragma once
// The synchronisation jobs of the job list. Each takes the run's context; its first log line is
// written by the run before it is called.

#include "jobs/kit/run_context.h"

namespace pos {

void sync_products(RunContext& ctx);               // 0: categories, product indexes, LOC_PDC
void sync_staff(RunContext& ctx);                  // 1: LOC_PERS
void sync_shifts(RunContext& ctx);                 // 2: LOC_WRK
void sync_invoice_words(RunContext& ctx);          // 4: LOC_WORD and EINVOICE_WORD
void sync_bundle_barcodes(RunContext& ctx);        // 5: PROD_SALE
void sync_sales_promotions(RunContext& ctx);       // 6: PROMOTION
void sync_members(RunContext& ctx);                // 7: MEMBER, VIPCARD_SUB, MEMLEVEL_PDCLASS_DIS
void sync_any_choice_promotions(RunContext& ctx);  // 8: PTSALE
void sync_machines(RunContext& ctx);               // 9: MCH_ITEM
void sync_keyboard_maps(RunContext& ctx);          // 10: LOC_KEY_MAP and LOC_KEY_MAP_SUB
void sync_discount_levels(RunContext& ctx);        // 11: MEMDIS_LEVEL
void sync_points_and_gifts(RunContext& ctx);       // 12: POINT_SET, then the gift promotions
void sync_card_stops(RunContext& ctx);             // 14: SMARTCARD_DATA

}  // namespace pos
