/*
 * rack_view.cpp - the rack view of the cabinet window (see rack_view.h).
 *
 * Every refresh walks the complexes of the status tree: each gets its rack
 * entry (created the first time its id is seen, in complex-id order whatever
 * the arrival order) and its status; entries of chassis absent from the tree
 * stay and are shown Missing.  The table of complex types decides each
 * chassis's name, its button label and the chassis view window.
 *
 * A chassis view window is built the first time a chassis of its kind is
 * selected, then kept; only the empty view comes with the cabinet window.
 * A cabinet shows one chassis at a time, and building every window at
 * start-up (hundreds of widgets and pictures, most never looked at) was
 * most of the time before the cabinet window appeared.
 *
 * Callers: start-up, update_display, the rack toggles.
 */
#include "app/rack_view.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include <Xm/Form.h>
#include <Xm/LabelG.h>
#include <Xm/RowColumn.h>
#include <Xm/ToggleB.h>
#include <Xm/Xm.h>

#include "app/cabstat_common.h"
#include "app/help_contexts.h"
#include "app/chassis_views.h"
#include "app/complex_types.h"
#include "app/layouts/builtin_windows.h"
#include "app/layouts/rack_windows.h"
#include "app/rack_state.h"
#include "app/s_get_colors.h"
#include "app/status_codes.h"
#include "base/console_path.h"
#include "base/motif_str.h"
#include "base/trace.h"
#include "config/miscutil.h"
#include "ui/x_util.h"

/* ---- constants ----------------------------------------------------------- */

namespace {

constexpr const char *EMPTY_STATUS_ICON = CONSOLE_ICONS "STAT.none";

/* How add_chassis sets node_id. */
enum class NodeId {
    Keep,      /* left as it was */
    NodeIndex, /* GetNodeListIndex of the complex */
    Size0,     /* interconnect sizes */
    Size16,
    Size64,
};

/* Builds one of the cabinet window's own chassis windows (builtin_windows.h)
 * into the scrolled form, placed and hidden like the others. */
template <Widget *View, Widget (*Build)(Widget)> void create_builtin_view()
{
    *View = Build(scrolled_form);
    attach_chassis_window(*View);
    XtUnmanageChild(*View);
    register_window_help();
}

constexpr void (*create_smp_view)() = create_builtin_view<&smp_frame, build_smp_window>;
constexpr void (*create_sm_view)() = create_builtin_view<&sm_frame, build_sm_window>;
constexpr void (*create_sm2u_view)() = create_builtin_view<&sm2u_frame, build_sm2u_window>;
constexpr void (*create_quonet_view)() = create_builtin_view<&quonet_frame, build_quonet_window>;
constexpr void (*create_quonet_qna16g_view)() = create_builtin_view<&quonet_qna16g_frame, build_quonet_qna16g_window>;
constexpr void (*create_quonet_qn64g_view)() = create_builtin_view<&quonet_qn64g_frame, build_quonet_qn64g_window>;
constexpr void (*create_ups_view)() = create_builtin_view<&ups_frame, build_ups_window>;
constexpr void (*create_ups_dam_view)() = create_builtin_view<&ups_dam_frame, build_ups_dam_window>;

/* One row of the complex-type table. */
struct ChassisKind {
    int complex_type;
    short chassis_type;
    const char *chassis_label;
    const char *button_format; /* "%d": the complex id */
    Widget *view;              /* the chassis view window */
    void (*create)();          /* builds it on the first selection */
    NodeId node_id;
    int ssc_type;              /* server-management variant, 0: unchanged */
};

constexpr ChassisKind CHASSIS_KINDS[] = {
    {COMPLEX_SERVER_MGMT, CHASSIS_SERVER_MGMT, "Server Mgmt.", "Server\nMgmt. %d", &sm_frame, create_sm_view, NodeId::Keep, 3},
    {COMPLEX_DAMC, CHASSIS_DISK_ARRAY, "Disk Array", "Disk\nArray %d", &da_frame, create_da_frame, NodeId::Keep, 0},
    {COMPLEX_UPS, CHASSIS_UPS, "UPS", "UPS\n%d", &ups_frame, create_ups_view, NodeId::Keep, 0},
    {COMPLEX_SERVER_MGMT2, CHASSIS_SERVER_MGMT2, "Server Mgmt.", "Server\nMgmt. %d", &sm_frame, create_sm_view, NodeId::Keep, 3},
    {COMPLEX_QNA, CHASSIS_QNA, "QUONET", "QNA\n%d", &quonet_frame, create_quonet_view, NodeId::Size0, 0},
    {COMPLEX_QNB, CHASSIS_QNB, "QUONET", "QNB\n%d", &quonet_frame, create_quonet_view, NodeId::Size0, 0},
    {COMPLEX_SMP, CHASSIS_NODE, "SMP", "SMP\n%d", &smp_frame, create_smp_view, NodeId::NodeIndex, 0},
    {COMPLEX_MDAMC, CHASSIS_DISK_ARRAY, "Disk Array", "Disk\nArray %d", &da2_frame, create_da2_frame, NodeId::Keep, 0},
    {COMPLEX_QNA16G, CHASSIS_QNA, "QUONET 16G", "QNA16G\n%d", &quonet_qna16g_frame, create_quonet_qna16g_view, NodeId::Size16, 0},
    {COMPLEX_QNA64G, CHASSIS_QNA, "QUONET 64G", "QNA64\n%d", &quonet_qn64g_frame, create_quonet_qn64g_view, NodeId::Size64, 0},
    {COMPLEX_QNB64G, CHASSIS_QNB, "QUONET 64G", "QNB64\n%d", &quonet_qn64g_frame, create_quonet_qn64g_view, NodeId::Size64, 0},
    {COMPLEX_UPS_DAM, CHASSIS_UPS, "UPS w/ Input Sel", "UPS w/ \nInput Sel\n%d", &ups_dam_frame, create_ups_dam_view, NodeId::Keep, 0},
    {COMPLEX_QUARTZ_NODE, CHASSIS_NODE, "SMP", "SMP\n%d", &quartz_node_frame, create_quartz_node_frame, NodeId::NodeIndex, 0},
    {COMPLEX_SERVER_MGMT_2U, CHASSIS_SERVER_MGMT2, "Server Mgmt.", "Server\nMgmt. %d", &sm2u_frame, create_sm2u_view, NodeId::Keep, 2},
    {COMPLEX_NODE7U, CHASSIS_NODE, "SMP", "SMP\n%d", &node7U_frame, create_node7U_frame, NodeId::NodeIndex, 0},
    {COMPLEX_UPS_2U, CHASSIS_UPS, "2U UPS ", "2U UPS \n%d", &ups2U_frame, create_ups2U_frame, NodeId::Keep, 0},
    {COMPLEX_COBALT, CHASSIS_NODE, "SMP", "SMP\n%d", &cobalt_frame, create_cobalt_frame, NodeId::NodeIndex, 0},
    {COMPLEX_GARNET, CHASSIS_NODE, "SMP", "SMP\n%d", &garnet_frame, create_garnet_frame, NodeId::NodeIndex, 0},
    {COMPLEX_BERYL, CHASSIS_NODE, "SMP", "SMP\n%d", &beryl_frame, create_beryl_frame, NodeId::NodeIndex, 0},
};
constexpr ChassisKind UNKNOWN_KIND = {-1,      CHASSIS_UNKNOWN, "Unknown", "Unknown\n%d", &smp_frame, create_smp_view,
                                      NodeId::Keep, 0};

/* The chassis pictures, by chassis kind. */
struct ChassisPicture {
    short chassis_type;
    const char *picture;
};
constexpr ChassisPicture CHASSIS_PICTURES[] = {
    {CHASSIS_DISK_ARRAY, CONSOLE_ICONS "CTL.tsl"},    {CHASSIS_UPS, CONSOLE_ICONS "BAT.tsl"},
    {CHASSIS_NODE, CONSOLE_ICONS "SMP.tsl"},          {CHASSIS_QNA, CONSOLE_ICONS "QNA.tsl"},
    {CHASSIS_QNB, CONSOLE_ICONS "QNA.tsl"},           {CHASSIS_SERVER_MGMT, CONSOLE_ICONS "CMIC.tsl"},
    {CHASSIS_SERVER_MGMT2, CONSOLE_ICONS "CMIC.tsl"},
};
constexpr const char *UNKNOWN_CHASSIS_PICTURE = CONSOLE_ICONS "STAT.unkn";

/* Rack entry geometry. */
constexpr Dimension ENTRY_SHADOW = 2;
constexpr int STAT_FORM_VERTICAL_OFFSET = 3;
constexpr int STAT_FORM_LEFT_OFFSET = 80;
constexpr int STAT_FORM_RIGHT_OFFSET = 10;
constexpr int TOGGLE_VERTICAL_OFFSET = 12;
constexpr int TOGGLE_LEFT_OFFSET = 3;
constexpr int TOGGLE_GAP = 5;

/* Placement of the chassis view windows. */
constexpr int VIEW_TOP_OFFSET = 0;
constexpr int VIEW_BOTTOM_OFFSET = 3;
constexpr int VIEW_LEFT_OFFSET = 2;

/* ---- module variables ---------------------------------------------------- */

/* Where the next new rack entry goes among cab_rc's children. */
Cardinal insert_position = 0;
/* The chassis view window shown now. */
Widget shown_view = nullptr;
/* The last interconnect kind that was present. */
int last_interconnect_type = COMPLEX_QNA;
/* The kind each rack entry had at its last refresh. */
const ChassisKind *entry_kind[MAX_CHASSIS + 1] = {};

/* ---- static prototypes --------------------------------------------------- */

XtPointer as_client_data(int value);
const ChassisKind &kind_of(int complex_type);
void remember_interconnect_type(complex_cfg_t *cp);
void apply_kind(s_cab_chassis_rec &entry, const complex_cfg_t *cp, const ChassisKind &kind);
void create_entry_widgets(s_cab_chassis_rec &entry, int id, const char *button_label);
void set_toggle_label(Widget toggle, const char *text);
void create_view(const char *creator, Widget (*build)(Widget));
void place_view(Widget view);

} // namespace

/* ---- helpers ------------------------------------------------------------- */

namespace {

XtPointer as_client_data(int value)
{
    return reinterpret_cast<XtPointer>(static_cast<std::intptr_t>(value));
}

const ChassisKind &kind_of(int complex_type)
{
    for (const ChassisKind &kind : CHASSIS_KINDS)
        if (kind.complex_type == complex_type)
            return kind;
    dprint(1, "Unknown complex_type=0x%x\n", static_cast<unsigned>(complex_type));
    return UNKNOWN_KIND;
}

/* An absent interconnect chassis is drawn as the kind last present. */
void remember_interconnect_type(complex_cfg_t *cp)
{
    const int type = cp->complex_type;
    if (type != COMPLEX_QNA && type != COMPLEX_QNB && type != COMPLEX_QNA16G)
        return;
    if (cp->complex_status == S_MISSING)
        cp->complex_type = static_cast<uint8_t>(last_interconnect_type);
    else
        last_interconnect_type = type;
}

/* Step 4 of add_chassis: kind, name, view window, node index, variant. */
void apply_kind(s_cab_chassis_rec &entry, const complex_cfg_t *cp, const ChassisKind &kind)
{
    entry.chassis_type = kind.chassis_type;
    std::snprintf(entry.chassis_label, sizeof entry.chassis_label, "%.19s", kind.chassis_label);
    /* The window, when a chassis of this kind was shown before; otherwise
     * select_chassis_view builds it. */
    entry_kind[&entry - chassis_rec] = &kind;
    entry.chassis_frame = *kind.view;
    switch (kind.node_id) {
    case NodeId::Keep:
        break;
    case NodeId::NodeIndex:
        entry.node_id = GetNodeListIndex(CabinetID, cp->complex_id, cp->complex_type);
        break;
    case NodeId::Size0:
        entry.node_id = 0;
        break;
    case NodeId::Size16:
        entry.node_id = 16;
        break;
    case NodeId::Size64:
        entry.node_id = 64;
        break;
    }
    if (kind.ssc_type != 0)
        SscType = kind.ssc_type;
}

void set_toggle_label(Widget toggle, const char *text)
{
    XmString label = XmStringCreateLtoR(xs(text), xs(XmSTRING_DEFAULT_CHARSET));
    XtVaSetValues(toggle, XmNlabelString, label, nullptr);
    XmStringFree(label);
}

/* Step 5 of add_chassis: the form of a new entry, its toggle, its status
 * icon and chassis picture. */
void create_entry_widgets(s_cab_chassis_rec &entry, int id, const char *button_label)
{
    entry.chassis_frm = XtVaCreateWidget("cab_chassis_frm", xmFormWidgetClass, cab_rc, XmNshadowThickness,
                                         ENTRY_SHADOW, XmNshadowType, XmSHADOW_ETCHED_IN, nullptr);
    entry.radio_btn = XtVaCreateWidget("cab_chassis_btn", xmToggleButtonWidgetClass, entry.chassis_frm,
                                       XmNindicatorOn, False, XmNshadowThickness, 2, XmNfillOnSelect, False,
                                       nullptr);
    set_toggle_label(entry.radio_btn, button_label);
    entry.stat_frm = XtVaCreateWidget("cab_chassis_stat_frm", xmFormWidgetClass, entry.chassis_frm, nullptr);
    entry.stat_lbl = XtVaCreateWidget("cab_chassis_stat", xmLabelGadgetClass, entry.stat_frm, XmNlabelType,
                                      XmPIXMAP, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM,
                                      nullptr);
    entry.chassis_icon = XtVaCreateWidget("cab_chassis_pic", xmLabelGadgetClass, entry.stat_frm, XmNlabelType,
                                          XmPIXMAP, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment,
                                          XmATTACH_WIDGET, XmNleftWidget, entry.stat_lbl, nullptr);

    XtVaSetValues(entry.stat_frm, XmNtopAttachment, XmATTACH_FORM, XmNtopOffset, STAT_FORM_VERTICAL_OFFSET,
                  XmNbottomAttachment, XmATTACH_FORM, XmNbottomOffset, STAT_FORM_VERTICAL_OFFSET,
                  XmNleftAttachment, XmATTACH_FORM, XmNleftOffset, STAT_FORM_LEFT_OFFSET, XmNrightAttachment,
                  XmATTACH_FORM, XmNrightOffset, STAT_FORM_RIGHT_OFFSET, nullptr);
    XtVaSetValues(entry.radio_btn, XmNtopAttachment, XmATTACH_FORM, XmNtopOffset, TOGGLE_VERTICAL_OFFSET,
                  XmNbottomAttachment, XmATTACH_FORM, XmNbottomOffset, TOGGLE_VERTICAL_OFFSET, XmNleftAttachment,
                  XmATTACH_FORM, XmNleftOffset, TOGGLE_LEFT_OFFSET, XmNrightAttachment, XmATTACH_WIDGET,
                  XmNrightWidget, entry.stat_frm, XmNrightOffset, TOGGLE_GAP, nullptr);
    XtAddCallback(entry.radio_btn, XmNvalueChangedCallback, show_chassis_cb, as_client_data(id));

    Widget status_parts[] = {entry.stat_lbl, entry.chassis_icon};
    XtManageChildren(status_parts, XtNumber(status_parts));
    Widget parts[] = {entry.radio_btn, entry.stat_frm};
    XtManageChildren(parts, XtNumber(parts));
    XtManageChild(entry.chassis_frm);
}

void place_view(Widget view)
{
    XtVaSetValues(view, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, chassis_lbl, XmNtopOffset, VIEW_TOP_OFFSET,
                  XmNbottomAttachment, XmATTACH_FORM, XmNbottomOffset, VIEW_BOTTOM_OFFSET, nullptr);
}

/* A lazily built chassis view window: built into the scrolled form, placed
 * right of the divider below chassis_lbl, hidden until selected. */
void create_view(const char *creator, Widget (*build)(Widget))
{
    dprint(5, "%s: scrolled_form=0x%x\n", creator,
           static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(scrolled_form)));
    Widget view = build(scrolled_form);
    place_view(view);
    XtVaSetValues(view, XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget, rack_divider, XmNleftOffset,
                  VIEW_LEFT_OFFSET, XmNrightAttachment, XmATTACH_NONE, nullptr);
    XtUnmanageChild(view);
    register_window_help();
}

Widget build_ups2U(Widget parent)
{
    return create_ups2U_dlg(parent, "rack_fru");
}

} // namespace

/* ---- chassis view windows ------------------------------------------------ */

void create_cobalt_frame() { create_view("create_cobalt_frame", create_rack_cobalt_dlg); }
void create_garnet_frame() { create_view("create_garnet_frame", create_rack_garnet_dlg); }
void create_beryl_frame() { create_view("create_beryl_frame", create_rack_beryl_dlg); }
void create_node7U_frame() { create_view("create_node7U_frame", create_rack_node7U_dlg); }
void create_quartz_node_frame() { create_view("create_quartz_node_frame", create_rack_quartz_node_dlg); }
void create_da2_frame() { create_view("create_da2_frame", create_rack_mdamc_dlg); }
void create_da_frame() { create_view("create_da_frame", create_rack_damc_dlg); }
void create_ups2U_frame() { create_view("create_ups2U_frame", build_ups2U); }

void initialize_chassis_views()
{
    Widget *const prebuilt[] = {&smp_frame,           &quartz_node_frame,   &sm_frame,  &sm2u_frame,
                                &quonet_frame,        &quonet_qna16g_frame, &quonet_qn64g_frame,
                                &ups_frame,           &ups_dam_frame,       &empty_frame};
    for (Widget *view : prebuilt)
        if (*view != nullptr)
            place_view(*view);
    for (Widget *view : prebuilt)
        if (*view != nullptr)
            XtUnmanageChild(*view);
    shown_view = nullptr;
    XtVaSetValues(cab_rc, XmNinsertPosition, position_proc, nullptr);
}

const char *chassis_picture(short chassis_type)
{
    for (const ChassisPicture &p : CHASSIS_PICTURES)
        if (p.chassis_type == chassis_type)
            return p.picture;
    return UNKNOWN_CHASSIS_PICTURE;
}

/* ---- building the rack --------------------------------------------------- */

Cardinal position_proc(Widget)
{
    return insert_position;
}

void add_chassis(complex_cfg_t *cp)
{
    if (cp == nullptr)
        return;
    const int id = cp->complex_id;
    if (id < 1 || id > MAX_CHASSIS) {
        dprint(1, "add_chassis: complex id %d is outside 1-%d, skipped\n", id, MAX_CHASSIS);
        return;
    }

    /* 1. The entry of this id. */
    s_cab_chassis_rec &entry = chassis_rec[id];
    dprint(1, "add_chassis: complex_ptr=0x%x type=0x%x id=0x%x id*=0x%x\n",
           static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(cp)), cp->complex_type,
           static_cast<unsigned>(id), static_cast<unsigned>(static_cast<unsigned char>(entry.id)));
    const bool is_new = entry.id == 0;
    entry.id = static_cast<char>(id);
    entry.complex_ptr = cp;

    /* 2. Keep the rack sorted by complex id. */
    insert_position = 0;
    for (int other = 1; other < id; ++other)
        if (chassis_rec[other].chassis_frm != nullptr)
            ++insert_position;

    /* 3. Interconnect kinds. */
    remember_interconnect_type(cp);

    /* 4. Kind, name, window. */
    const ChassisKind &kind = kind_of(cp->complex_type);
    apply_kind(entry, cp, kind);
    char button_label[40];
    std::snprintf(button_label, sizeof button_label, kind.button_format, id);

    /* 5./6. Widgets of a new entry, or the label of an existing one.  Before
     *    the rack's row column exists only the table is kept. */
    if (cab_rc == nullptr)
        return;
    if (is_new || entry.chassis_frm == nullptr) {
        create_entry_widgets(entry, id, button_label);
        entry.stat2_lbl = nullptr;
        ++chassis_cnt;
    } else {
        set_toggle_label(entry.radio_btn, button_label);
    }
}

void build_rack_view()
{
    /* 1. Forget the old tree. */
    for (s_cab_chassis_rec &entry : chassis_rec)
        entry.complex_ptr = nullptr;
    dprint(6, "build_rack_view: cmic_ptr=0x%0x\n", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(tree_ptr)));
    if (tree_ptr == nullptr)
        return;

    /* 2. Every complex of the new one. */
    const int count = tree_ptr->complex_count;
    for (int i = 0; i < count; ++i) {
        complex_cfg_t *cp = complex(tree_ptr, i);
        dprint(6, "build_rack_view: complex_ptr=0x%0x\n", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(cp)));
        if (cp == nullptr) {
            dprint(1, "build_rack_view:Can't find complex %d of %d\n", i, count);
            return;
        }
        add_chassis(cp);
        if (cp->complex_id >= 1 && cp->complex_id <= MAX_CHASSIS)
            show_rack_view_status(cp->complex_id, cp->complex_status);
    }

    /* 3. Chassis seen before and absent now. */
    for (int id = 1; id <= MAX_CHASSIS; ++id)
        if (chassis_rec[id].complex_ptr == nullptr && chassis_rec[id].id >= 1)
            show_rack_view_status(id, S_MISSING);
}

void show_rack_view_status(int chassis_id, int status)
{
    if (chassis_id < 1 || chassis_id > MAX_CHASSIS)
        return;
    s_cab_chassis_rec &entry = chassis_rec[chassis_id];
    if (entry.stat_lbl == nullptr)
        return;
    const char *icon = nullptr;
    const char *text = nullptr;
    int scheme = STATUS_UNKNOWN;
    get_status_visual_elements(status, &icon, &scheme, &text, 0);
    show_status(entry.stat_lbl, icon, scheme, 1);
    show_status(entry.chassis_icon, chassis_picture(entry.chassis_type), scheme, 0);
    if (entry.stat2_lbl != nullptr)
        show_status(entry.stat2_lbl, EMPTY_STATUS_ICON, STATUS_TITLE, 0);
}

/* ---- selection ----------------------------------------------------------- */

void select_chassis_view(int chassis_id)
{
    if (chassis_id < 1 || chassis_id > MAX_CHASSIS)
        return;
    s_cab_chassis_rec &entry = chassis_rec[chassis_id];

    /* 1. A missing chassis shows the empty view. */
    Widget view = entry.chassis_frame;
    if (entry.complex_ptr == nullptr || entry.complex_ptr->complex_status == S_MISSING) {
        view = empty_frame;
        if (empty_label != nullptr)
            show_status(empty_label, EMPTY_STATUS_ICON, STATUS_TITLE, 1);
        if (empty_btn != nullptr)
            show_tb_status(empty_btn, chassis_picture(entry.chassis_type), STATUS_TITLE);
    }
    /* 2. Its kind's window, built now when no chassis of the kind was
     *    shown before.  The lazily built windows go into the scrolled form;
     *    before the main window exists there is none. */
    const ChassisKind *kind = entry_kind[chassis_id];
    if (view == nullptr && kind != nullptr && scrolled_form != nullptr) {
        if (*kind->view == nullptr)
            kind->create();
        view = entry.chassis_frame = *kind->view;
    }
    if (view == nullptr)
        return;

    /* 3. Show it, titled, painted. */
    current_chassis = chassis_id;
    if (view != shown_view) {
        XtManageChild(view);
        if (shown_view != nullptr)
            XtUnmanageChild(shown_view);
        shown_view = view;
    }
    char title[64];
    std::snprintf(title, sizeof title, "Chassis %d - %s", chassis_id, entry.chassis_label);
    show_text(title, STATUS_TITLE, chassis_lbl);
    show_chassis_view_status(chassis_id);
    adjust_rack_window_size();
}

void set_chassis_btn(int chassis_num, int on)
{
    if (chassis_num < 1 || chassis_num > MAX_CHASSIS)
        return;
    Widget toggle = chassis_rec[chassis_num].radio_btn;
    if (toggle == nullptr)
        return;
    XmToggleButtonSetState(toggle, on ? True : False, False);
    Pixel foreground = 0, background = 0;
    XtVaGetValues(XtParent(toggle), XmNforeground, &foreground, XmNbackground, &background, nullptr);
    if (on)
        XtVaSetValues(toggle, XmNforeground, background, XmNbackground, foreground, nullptr);
    else
        XtVaSetValues(toggle, XmNforeground, foreground, XmNbackground, background, nullptr);
}

void show_chassis_cb(Widget w, XtPointer chassis_num, XtPointer call_data)
{
    const int chosen = static_cast<int>(reinterpret_cast<std::intptr_t>(chassis_num));
    const auto *cb = static_cast<XmToggleButtonCallbackStruct *>(call_data);
    if (cb != nullptr && !cb->set) {
        /* The selection cannot be emptied. */
        XmToggleButtonSetState(w, True, False);
        return;
    }
    for (int id = 1; id <= MAX_CHASSIS; ++id)
        set_chassis_btn(id, id == chosen);
    select_chassis_view(chosen);
}

void adjust_rack_window_size()
{
    if (s_rack_main_form == nullptr || !XtIsRealized(s_rack_main_form))
        return;
    Dimension form_width = 0, form_height = 0, menu_height = 0, shadow = 0;
    XtVaGetValues(scrolled_form, XmNwidth, &form_width, XmNheight, &form_height, nullptr);
    XtVaGetValues(menu_bar, XmNheight, &menu_height, nullptr);
    XtVaGetValues(s_rack_main_scroll, XmNshadowThickness, &shadow, nullptr);
    XtVaSetValues(s_rack_main_form, XmNwidth, static_cast<Dimension>(form_width + 2 * shadow), XmNheight,
                  static_cast<Dimension>(form_height + menu_height + 2 * shadow), nullptr);
}
