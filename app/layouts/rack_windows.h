/*
 * rack_windows.h - every window of the cabinet display and every widget the
 * painting code addresses.
 *
 * Each builder creates its window once and stores each widget in the global
 * of the same name (also the widget's name, for resources and tests).  The
 * per-slot widgets of a component family live in NULL-terminated arrays,
 * index i = unit i of the subcomplex: frm_<family>_<kind>s (the slot frame,
 * managed while a unit occupies it), btn_ (the component toggle), stat_ (the
 * status icon) and lbl_ (the caption); the widget of slot k is named
 * <prefix><family>_<kind><k>, e.g. btn_cobalt_fan2.  Managers of slots shown
 * and hidden together are named <group>_widget.
 *
 * Builders are called by start-up (create_rack_cabstat_dlg, create_s_key_shell)
 * and, for the less common chassis kinds, by the rack view on first use.
 */
#ifndef XR_APP_LAYOUTS_RACK_WINDOWS_H
#define XR_APP_LAYOUTS_RACK_WINDOWS_H

#include <X11/Intrinsic.h>

/* A family of n component slots: four arrays of n entries and a NULL. */
#define XR_SLOT_FAMILY(family, n)                                                                        \
    constexpr int family##_SLOTS = (n);                                                                   \
    extern Widget frm_##family[(n) + 1], btn_##family[(n) + 1], stat_##family[(n) + 1], lbl_##family[(n) + 1]
/* A family of n sensors (no toggle). */
#define XR_SENSOR_FAMILY(family, n)                                                                      \
    constexpr int family##_SLOTS = (n);                                                                   \
    extern Widget frm_##family[(n) + 1], stat_##family[(n) + 1], lbl_##family[(n) + 1]
/* One temperature sensor. */
#define XR_SENSOR(name) extern Widget frm_##name, stat_##name, lbl_##name
/* One component slot outside any family. */
#define XR_SLOT(name) extern Widget frm_##name, btn_##name, stat_##name, lbl_##name

/* ---- main window (s_rack_cab) ------------------------------------------ */
Widget create_rack_cabstat_dlg(Display *display, const char *name, int argc, char **argv, const char *title);

extern Widget rack_cabstat_dlg, s_rack_main_form, menu_bar, s_rack_main_scroll, scrolled_form;
extern Widget cab_rc, cab_lbl, chassis_lbl, rack_divider;
extern Widget file_menu, exit_btn, view_menu, reload_btn, detail_btn;
extern Widget function_btn, function_menu, btn_replace, btn_power_on, btn_power_off;
extern Widget help_menu, key_btn, contents_btn;

/* Built-in chassis windows, children of scrolled_form. */
extern Widget smp_frame, sm_frame, sm2u_frame, quonet_frame, quonet_qna16g_frame, quonet_qn64g_frame;
extern Widget ups_frame, ups_dam_frame, empty_frame;

/* Other node chassis (smp_frame). */
XR_SLOT_FAMILY(smp_smbs, 1);
XR_SLOT_FAMILY(smp_fans, 6);
XR_SLOT_FAMILY(smp_pwrs, 4);
XR_SENSOR(smp_temp);
extern Widget lbl_smp_text, btn_smp_chassis;

/* Server management, 11 board slots (sm_frame). */
XR_SLOT_FAMILY(smc_cmbs, 1); /* the management board: slot 1 */
XR_SLOT_FAMILY(smc_fans, 4);
XR_SLOT_FAMILY(smc_pwrs, 4);
XR_SLOT_FAMILY(smc_convs, 4);
XR_SLOT_FAMILY(smc_vrs, 4);
XR_SLOT_FAMILY(smc_cmics, 1);
XR_SLOT_FAMILY(smc_extpwrs, 2);
XR_SLOT_FAMILY(smc_cpufans, 2);
XR_SLOT_FAMILY(smc_rcmbs, 11); /* board slots: smc_cmb, smc_rcmb2 ... smc_rcmb11 */
XR_SENSOR(smc_temp);
extern Widget frm_smc_slots[12]; /* frm_smc_slot1 ... frm_smc_slot11 */
extern Widget btn_smc_cmic, stat_smc_cmic, lbl_sm_text;

/* Server management, 2U variant with 8 slots (sm2u_frame). */
XR_SLOT_FAMILY(smc2u_cmbs, 1);
XR_SLOT_FAMILY(smc2u_fans, 2);
XR_SLOT_FAMILY(smc2u_pwrs, 2);
XR_SLOT_FAMILY(smc2u_vrs, 2);
XR_SLOT_FAMILY(smc2u_rcmbs, 8); /* smc2u_cmb, smc2u_rcmb2 ... smc2u_rcmb8 */
XR_SENSOR(smc2u_temp);
extern Widget frm_smc2u_slots[9]; /* frm_smc2u_slot1 ... frm_smc2u_slot8 */
extern Widget frm_smc2u_fan1, lbl_sm2u_text;

/* Interconnect chassis (quonet_frame, quonet_qna16g_frame, quonet_qn64g_frame). */
XR_SLOT_FAMILY(qn_cmbs, 1);
XR_SLOT_FAMILY(qn_fans, 4);
XR_SLOT_FAMILY(qn_pwrs, 2);
XR_SLOT_FAMILY(qn_switchs, 2);
XR_SENSOR(qn_temp);
XR_SLOT_FAMILY(qna16g_cmbs, 1);
XR_SLOT_FAMILY(qna16g_fans, 4);
XR_SLOT_FAMILY(qna16g_pwrs, 2);
XR_SLOT_FAMILY(qna16g_switchs, 2);
XR_SLOT_FAMILY(qna16g_convs, 4);
XR_SLOT_FAMILY(qna16g_monis, 2);
XR_SENSOR(qna16g_temp);
XR_SLOT_FAMILY(qn64g_cmbs, 1);
XR_SLOT_FAMILY(qn64g_fans, 4);
XR_SLOT_FAMILY(qn64g_pwrs, 4);
XR_SLOT_FAMILY(qn64g_monis, 2);
XR_SLOT_FAMILY(qn64g_power_fans, 4);
XR_SENSOR(qn64g_temp);
/* The nine converter slots qn64g_conv1 ... qn64g_conv9 in unit order: for a
 * 64G switch A unit 0..8 sit in slots 5 1 9 2 8 3 7 4 6; for a switch B
 * units 0..4 sit in slots 5 1 2 3 4 and slots 6..9 follow unused. */
XR_SLOT_FAMILY(qna64g_convs, 9);
XR_SLOT_FAMILY(qnb64g_convs, 9);

/* UPS (ups_frame) and UPS with input selector (ups_dam_frame). */
XR_SLOT_FAMILY(ups_bats, 2);
XR_SLOT_FAMILY(ups_pwrs, 2);
XR_SENSOR(ups_temp);
extern Widget frm_ups2, frm_ups_pwr2, btn_ups_chassis;
XR_SLOT_FAMILY(ups_dam_bats, 2);
XR_SLOT_FAMILY(ups_dam_pwrs, 1);
XR_SLOT(ups_dam_dams1); /* leg A */
XR_SLOT(ups_dam_dams2); /* leg B */
XR_SLOT(ups_dam_dams3); /* the input selector */
XR_SENSOR(ups_dam_temp);
extern Widget frm_ups_dam2, btn_ups_dam_chassis;

/* Missing chassis. */
extern Widget empty_label, empty_btn;

/* ---- disk array, complex 32 (rack_damc) --------------------------------- */
Widget create_rack_damc_dlg(Widget parent);
extern Widget da_frame, btn_da_chassis;
XR_SLOT_FAMILY(da_fans, 3); /* FAN 0..2 */
XR_SLOT_FAMILY(da_pwrs, 5); /* PWR 0..4 */
XR_SLOT_FAMILY(da_dsks, 20);
XR_SLOT_FAMILY(da_ctl1s, 1);
XR_SLOT_FAMILY(da_ctl2s, 1);
XR_SENSOR(da_temp);

/* ---- disk array, complex 38 (rack_mdamc) -------------------------------- */
Widget create_rack_mdamc_dlg(Widget parent);
extern Widget da2_frame, btn_da2_chassis;
XR_SLOT_FAMILY(da2_fans, 10);
XR_SLOT_FAMILY(da2_pwrs, 10);
XR_SLOT_FAMILY(da2_hubs, 2);
XR_SLOT_FAMILY(da2_esms, 8);
XR_SLOT_FAMILY(da2_ctls, 2);  /* controllers 1 and 2 ... */
XR_SLOT_FAMILY(da2_ctl1s, 1); /* ... the same widgets, one at a time */
XR_SLOT_FAMILY(da2_ctl2s, 1);
XR_SLOT_FAMILY(da2_bats, 1);
XR_SENSOR_FAMILY(da2_temps, 4);
extern Widget frm_da2_hub1, frm_da2_hub2, frm_da2_bat;
/* The disk grid: 4 rows (hdd_dsk_rows) of 14 cells; columns 11..14 of each
 * row are optional (shown up to the column count).  One grid, read in five
 * orders: da2_dsks for 10 columns, da2_dsks1 ... da2_dsks4 for 11 ... 14. */
constexpr int DA2_DISK_ROWS = 4;
constexpr int DA2_DISK_COLUMNS = 14;
extern Widget hdd_dsk_rows[DA2_DISK_ROWS + 1];
extern Widget frm_da2_dsk_cells[DA2_DISK_ROWS][DA2_DISK_COLUMNS];
extern Widget btn_da2_dsks[41], stat_da2_dsks[41], lbl_da2_dsks[41];
extern Widget btn_da2_dsks1[45], stat_da2_dsks1[45], lbl_da2_dsks1[45];
extern Widget btn_da2_dsks2[49], stat_da2_dsks2[49], lbl_da2_dsks2[49];
extern Widget btn_da2_dsks3[53], stat_da2_dsks3[53], lbl_da2_dsks3[53];
extern Widget btn_da2_dsks4[57], stat_da2_dsks4[57], lbl_da2_dsks4[57];

/* ---- node chassis, complex 45 (rack_node7U) ----------------------------- */
Widget create_rack_node7U_dlg(Widget parent);
extern Widget node7U_frame, btn_node7U_chassis, lbl_node7U_text;
extern Widget node7U_mem1thru16_widget, node7U_mem17thru32_widget;
XR_SENSOR_FAMILY(node7U_temps, 6);
XR_SENSOR_FAMILY(node7U_cputemps, 4);
XR_SLOT_FAMILY(node7U_disks, 6);
XR_SLOT_FAMILY(node7U_mems, 32);
XR_SLOT_FAMILY(node7U_cpus, 4);
XR_SLOT_FAMILY(node7U_fans, 6);
XR_SLOT_FAMILY(node7U_pwrs, 3);
XR_SLOT_FAMILY(node7U_pci, 6);

/* ---- node chassis, complex 43 (rack_quartz) ----------------------------- */
Widget create_rack_quartz_node_dlg(Widget parent);
extern Widget quartz_node_frame, btn_quartz_chassis, lbl_quartz_text;
extern Widget quartz_mem1thru16_widget, quartz_mem17thru32_widget;
XR_SENSOR_FAMILY(quartz_temps, 6);
XR_SLOT_FAMILY(quartz_disks, 6);
XR_SLOT_FAMILY(quartz_pwrs, 4);
XR_SLOT_FAMILY(quartz_fans, 9); /* CPU side 1-4, I/O side 5-8, cooling fan */
XR_SLOT_FAMILY(quartz_cpus, 4);
XR_SLOT_FAMILY(quartz_mems, 32);

/* ---- node chassis, complex 47 (rack_cobalt) ----------------------------- */
Widget create_rack_cobalt_dlg(Widget parent);
extern Widget cobalt_frame, btn_cobalt_chassis, lbl_cobalt_text, cobalt_mem1thru8_widget;
XR_SENSOR_FAMILY(cobalt_temps, 4);
XR_SENSOR_FAMILY(cobalt_cputemps, 2);
XR_SLOT_FAMILY(cobalt_disks, 5);
XR_SLOT_FAMILY(cobalt_mems, 8);
XR_SLOT_FAMILY(cobalt_cpus, 2);
XR_SLOT_FAMILY(cobalt_fans, 10); /* fans 1-6, processor fans 1-2, PDB fans 1-2 */
XR_SLOT_FAMILY(cobalt_pwrs, 3);

/* ---- node chassis, complexes 49 and 51 (rack_garnet, rack_beryl) -------- */
Widget create_rack_garnet_dlg(Widget parent);
extern Widget garnet_frame, btn_garnet_chassis, lbl_garnet_text, garnet_mem1thru6_widget;
XR_SENSOR_FAMILY(garnet_temps, 4);
XR_SENSOR_FAMILY(garnet_cputemps, 2);
XR_SLOT_FAMILY(garnet_disks, 5);
XR_SLOT_FAMILY(garnet_mems, 6);
XR_SLOT_FAMILY(garnet_cpus, 2);
XR_SLOT_FAMILY(garnet_fans, 8); /* fans 1-4, processor fans 1-2, power cage fans 1-2 */
XR_SLOT_FAMILY(garnet_pwrs, 3);

Widget create_rack_beryl_dlg(Widget parent);
extern Widget beryl_frame, btn_beryl_chassis, lbl_beryl_text, beryl_mem1thru6_widget;
XR_SENSOR_FAMILY(beryl_temps, 4);
XR_SENSOR_FAMILY(beryl_cputemps, 2);
XR_SLOT_FAMILY(beryl_disks, 5);
XR_SLOT_FAMILY(beryl_mems, 6);
XR_SLOT_FAMILY(beryl_cpus, 2);
XR_SLOT_FAMILY(beryl_fans, 7); /* fans 1-5, processor fans 1-2 */
XR_SLOT_FAMILY(beryl_pwrs, 3);

/* ---- 2U UPS, complex 46 (s_2U_ups) -------------------------------------- */
/* applid: the help application id of the window (reserved). */
Widget create_ups2U_dlg(Widget parent, const char *applid);
extern Widget ups2U_frame, btn_ups2U_chassis;
extern Widget btn_ups2U_ABswitch, btn_ups2U_INswitch, btn_ups2U_BPswitch;
XR_SLOT_FAMILY(ups2U_fans, 1);
XR_SLOT_FAMILY(ups2U_bats, 1);
XR_SLOT_FAMILY(ups2U_pwrs, 2);
XR_SLOT_FAMILY(ups2U_inverters, 1);
XR_SLOT_FAMILY(ups2U_chargers, 1);
XR_SLOT_FAMILY(ups2U_rectifiers, 1);
XR_SLOT_FAMILY(ups2U_DClinks, 1);
XR_SLOT_FAMILY(ups2U_loads, 3);
XR_SENSOR(ups2U_temp);

/* ---- status key (s_help) ------------------------------------------------- */
/* The key's symbols are the source of the colour table (s_get_colors.h). */
Widget create_s_key_shell(Widget parent);
extern Widget s_key_shell, s_key_form, s_key_close_btn;
extern Widget s_disabled, s_OK, s_not_OK, s_not_pres, s_warn, s_unknown;
extern Widget s_cflt, s_unrecognized, s_nocomm;
extern Widget s_led_off, s_led_on, s_cable, s_bat_ok, s_bat_bad, s_bat_low;
extern Widget s_fan_normal, s_fan_hfast, s_fan_fast, hlp_fann_frm, hlp_fanb_frm, hlp_fanf_frm;
extern Widget s_cool, s_warm, s_hot;
/* Rows of the symbols the views draw besides the ones above. */
extern Widget s_present, s_fast, s_charged, s_charging, s_unused;

/* For the builders: definitions of the arrays declared above, and the
 * arrays of a family as handed to lk::family(). */
#define XR_DEFINE_SLOT_FAMILY(family)                                                                    \
    Widget frm_##family[family##_SLOTS + 1], btn_##family[family##_SLOTS + 1],                           \
        stat_##family[family##_SLOTS + 1], lbl_##family[family##_SLOTS + 1]
#define XR_DEFINE_SENSOR_FAMILY(family)                                                                  \
    Widget frm_##family[family##_SLOTS + 1], stat_##family[family##_SLOTS + 1], lbl_##family[family##_SLOTS + 1]
#define XR_DEFINE_SENSOR(name) Widget frm_##name, stat_##name, lbl_##name
#define XR_DEFINE_SLOT(name) Widget frm_##name, btn_##name, stat_##name, lbl_##name
#define XR_ARRAYS(family) lk::FamilyArrays{frm_##family, btn_##family, stat_##family, lbl_##family}

#endif
