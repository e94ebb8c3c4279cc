#include "HelpTexts.h"

#include <QRegularExpression>
#include <utility>

namespace tessaro {

const char* const kDefaultHelp = "Hover mouse over items (or adjacent labels) to see help, tips and information.";

const char* const kFlowUnitReferenceHelp =
    R"TXT(Gas flow can be measured by mass or by volume. Same amount of gas will be a different volume depending on both the temperature and the pressure. There are many definitions and standards trying to pin down the "right" reference conditions, often denoted by N- or S- prefix before the volumetric unit. These reference conditions vary depending of issuer, industry, region, instrument manufacturer, and even with time (when the authors redefine). With volumetric measurements, the dissonance between the definition of NTP or STP, as well as the dynamic nature of actual condition are recurring sources of error. <BR><LINE:width=full><BR>This software allows flows in: <BC:#00FF00>g/min</BC>, which is always the same regardless of conditions, as well as any reference condition for volumetric units. The volumetric flow is in <BC:#00FF00>ml/m</BC> (milliliters per minute) or in <BC:#00FF00>ccm</BC> (cubic centimeter per minute) as these units are interchangeable. The unit name and the reference conditions can be pre-defined from the drop-down menu, or entered by hand. Software does not provide definitions for accronyms NTP or STP but users are free to use them as befits their needs, as well as any custom reference conditions such as in laboratories at higher altitudes and lower ambient pressures.)TXT";

const char* const kFluidListHelp =
    R"TXT(All<SUB>1</SUB> gases and fluids available for this device are listed in this control. Listed items have tab-structure with following details:<BR><div:thick_top=1,thick_left=1,thick_bottom=1,lncolor=#000000, margin=2, pad_top=2><B>Shortname</B><BR><LINE:width=250><BR>First 9 characters long "shortname".<BR>Typed-in characters search entries based on this.<BR></div><div:thick_top=1,thick_left=1,thick_bottom=1,lncolor=#000000, margin=2, pad_top=2><B>Formula</B><BR><LINE:width=200><BR>First 9 characters of formula<BR><BR></div><div:thick=1,lncolor=#000000, margin=2, pad_top=2><B>Longname</B> (or recipe)<BR><LINE:width=200><BR>Full name or when lacking,<BR>the composition in partial pressure.<BR>Info on isomerism when relevant.</div><BR><BR><BC:#FFFF00>Beware!</BC> The software has no way of knowing if the selection made in software corresponds to what is connected in physical world. Check connections.<BR><BC:#FFFF00>Beware!</BC> Configuring will allow small amount of gas to flow.<BR>1) Do note corrosive etc. gases are not shown for incompatible devices, liquids for MFC, or gases for pump. Should you need gas for syringe pump, take contact.)TXT";

namespace {

const char* const kMultiDevice =
    "<BC:#FF0000>Multi device button.</BC> To select more than one device, use <b>ctrl</b> or <b>shift</b>-click "
    "functionality on available devices. <BC:#FFFF00>Action applies to all selected devices.</BC>";

// The gas list and the pump's fluid list each have a caption of their own.
const char* const kFluidCaptionHelp =
    "For MFCs, special, custom and dynamic gases are at the bottom of the list. For MFCs and Pump, custom fluids "
    "can be edited in the custom fluids tab. <B>Type in</B> to find items quicker.";

const std::pair<const char*, QString> kHelpTable[] = {
    {"BitBtn3",
     "Segment type <b>step</b> changes the flow value immediately, <b>ramp</b> changes the flow value as linear ramp "
     "from previous to current segment. <b>Ramp</b> on first segment assumes previous flow to be 0."},
    {"BitBtn1", kMultiDevice},
    {"BitBtn2", QString(kMultiDevice) + " <B>Applies setpoint zero</B>, and makes the device go to idle mode."},
    {"BitBtn7",
     "Clicking apply will immediately change device flow to desired flow, <BC:#FFFF00>and stop execution of segment "
     "program if this device has one running.</BC> " +
         QString(kMultiDevice)},
    {"ButtonHoldPrograms",
     "Holds the segment program of each selected device: its program time stands still and the device keeps the "
     "setpoint it has now (a pump keeps its program). The rest of the program comes as much later as it is held. " +
         QString(kMultiDevice)},
    {"ButtonResumePrograms", "Resumes each selected held program from where it was held. " + QString(kMultiDevice)},
    {"RadioGroupSegmentTerminationType",
     "What the device gets after the last point of its program (after its last cycle when it repeats): "
     "<B>0 %</B>, the safe choice, or the last point's setpoint <BC:#FFFF00>for as long as nobody stops it.</BC>"},
    {"RtDoubleEditProgramRepeat",
     "How many times the program runs in a row. Each cycle starts again at its time 0, so a first Ramp point "
     "ramps from 0 % again. After the last cycle the termination choice applies."},
    {"RtDoubleEditHoldbackBand",
     "Holdback: while the achieved flow of a flow controller differs from its planned flow by more than this many "
     "percent of full scale, the program's time waits for it. 0 switches holdback off."},
    {"RtDoubleEditLongestHold",
     "The longest a holdback waits. After that the program goes on anyway and an alarm is raised."},
    {"RtDoubleEditAlarmBand",
     "Alarm when the achieved flow of a flow controller stays further than this many percent of full scale from "
     "its planned flow for longer than the alarm delay. <BC:#FFFF00>An alarm never stops a flow.</BC> 0 switches "
     "the alarm off."},
    {"RtDoubleEditAlarmDelay", "How long the flow may stay outside the alarm band before the alarm is raised."},
    {"BitBtn8", "<B>Applies setpoint zero</B>, and makes the device go to idle mode. " + QString(kMultiDevice) + " "},
    {"BitBtn6",
     "Checks the selected configuration, and if acceptable, applies the setting to the selected device, "
     "<BC:#FFFF00>making the device usable in other tabs.</BC> Do note the first time configuration is applied (part "
     "of which is a factory reset)  allows a <BC:#FF0000> small amount of gas to flow for about a second.</BC>"},
    {"BitBtn9",
     "Moves the pump syringe to the bottom position. Intended for changing the syringe. <BC:#FF0000>This stops any "
     "changes to any devices while being performed.</BC>"},
    {"BitBtn10",
     "Starts x loops of <B>Fill the syringe, then dispenses it</B>. See Lumora backside for fluid. Repeat until all "
     "gas is removed from system, or old fluid is replaced with new one. <BC:#FF0000>This makes software "
     "unresponsive until done, by design.</BC>"},
    {"BitBtn11",
     "<b>Initialize</b> does an extensive factory reset and initialization sequence on the selected device, to "
     "ensure the device configuration is compatible with the software. It is normally not necessary for the end user "
     "to perform this action. Initialize will take a while, and the user interface will be unresponsive. "
     "<BC:#FFFF00>Be aware the process will also allow some gas flow.</bc>"},
    {"DzHTMLTextTips",
     "Short information sniplets on things the mouse pointer is over will be shown here. <B>Drag the bottom "
     "splitter</B> to re-arrange form size proportions, to ain more arrea to show this help and the log below."},
    {"RtGraph2DMain",
     "<B>Drag</B> on graph to zoom. <B>Click</B> outside axes to unzoom. <B>Drag the splitter</B> below to "
     "re-arrange form size proportions, to enlarge the graph"},
    {"MemoMain", "Log and feedback of software use."},
    {"LabelColor",
     "Select unique color for this device. Supports also <B>transparent colors</B>. More info available on "
     "mouseover popups on the color-picker component."},
    {"LabelFluid", kFluidCaptionHelp},
    {"LabelFluidPump", kFluidCaptionHelp},
    {"ButtonMixSegmentsAdd",
     "Add mixture as defined to all involved devices. This will <BC:#FFFF00>overwrite</BC> any possibly existing "
     "segment at that time."},
    {"EditFlowUnitName",
     "Enter name for the flow unit: ml/min and ccm are interchangeable. Use of <B>N</B>ormalized or "
     "<B>S</B>tandard in the unit name is discouraged as their meaning is disambiguous. Instead rely on the "
     "reference conditions or use <B>g/min</B>."},
    {"EditNoteMixture",
     "A note to be added to all device segments at this time. Accepts only <B>alphanumeric</B>, <B>%</B>, "
     "<B>*</B>, <B>@</B>, <B>/</B> or <B>space</B>. Other characters will be <BC:#FFFF00>ignored</BC>. If other "
     "characters are needed, ask."},
    {"ListViewSegmentProgram",
     "Right mouse click to load or save segment program to a (text) file, for the selected device."},
    {"ListViewDevices",
     "List of available devices. Many actions can be applied to multiple devices at once. To select multiple "
     "devices use <B>ctrl</B> or <B>shift</B> with <B>left mouse</B> click. For actions affecting only one device, "
     "the the last item selected has focus. Selected items are marked with hollow diamond. Focused row is marked "
     "with solid diamond."},
    {"MixDesignGroupBox",
     "Set the time for mixture designer. Changing time will retrieve flows at specified time in segment program. "
     "Trackbar reacts to <B>arrow keys</B> and <B>mouse wheel</B> for small changes, and <B>page up/down</B> for "
     "large changes. Overall changes the time value between 0 and the largest value in the segment program. Exact "
     "step for mouse wheel is determined by Windows settings."},
    {"RtDoubleEditDesignMixTime",
     "Manually entering the time gives more precission, allowing fractions, and specifying times after the last "
     "segment."},
    {"ScrollBoxFlow",
     "Set the flow for this device. Trackbar reacts to mouse wheel and changes the time value between 0 and the "
     "largest flow possible with the device."},
};

const char* const kDynamicEditMark = "DoubleEditDynamic_";
const char* const kDynamicEditHelp = "Manually entering the flow gives more precission, allowing fractions.";

// Turns the help mark-up into Qt rich text in one pass over its tags.
class MarkupRenderer {
public:
    QString Render(const QString& markup) {
        static const QRegularExpression tag("<([^<>]*)>");
        qsizetype done = 0;
        for (auto match = tag.globalMatch(markup); match.hasNext();) {
            const QRegularExpressionMatch found = match.next();
            Text(markup.mid(done, found.capturedStart() - done));
            Tag(found.captured(1), found.captured(0));
            done = found.capturedEnd();
        }
        Text(markup.mid(done));
        CloseBoxRow();
        return html_;
    }

private:
    void Text(const QString& text) {
        if (text.isEmpty()) return;
        LeaveBoxRow();
        html_ += text.toHtmlEscaped();
    }

    void Tag(const QString& inside, const QString& whole) {
        const qsizetype colon = inside.indexOf(':');
        const QString name = (colon < 0 ? inside : inside.left(colon)).trimmed().toLower();
        const QString argument = colon < 0 ? QString() : inside.mid(colon + 1).trimmed();

        if (name == "div") return OpenBox(argument);
        if (name == "/div") return CloseBox();
        LeaveBoxRow();
        if (name == "b" || name == "/b" || name == "sub" || name == "/sub")
            html_ += "<" + name + ">";
        else if (name == "br")
            html_ += "<br>";
        else if (name == "bc")
            html_ += "<span style=\"background-color:" + argument.toHtmlEscaped() + "\">";
        else if (name == "/bc")
            html_ += "</span>";
        else if (name == "line")
            html_ += Rule(argument);
        else
            html_ += whole.toHtmlEscaped();
    }

    static QString Rule(const QString& argument) {
        static const QRegularExpression width("width\\s*=\\s*(\\d+)");
        const QRegularExpressionMatch found = width.match(argument);
        return found.hasMatch() ? "<hr width=\"" + found.captured(1) + "\">" : QString("<hr>");
    }

    // Boxes become the cells of a framed table; a box that directly follows another one
    // joins its row.
    void OpenBox(const QString& argument) {
        CloseBox();
        static const QRegularExpression lineColor("lncolor\\s*=\\s*(#[0-9A-Fa-f]{6})");
        if (!rowOpen_) {
            const QRegularExpressionMatch color = lineColor.match(argument);
            const QString border = color.hasMatch() ? color.captured(1) : QString("#000000");
            html_ += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" style=\"border-color:" + border +
                     "; border-style:solid;\"><tr>";
            rowOpen_ = true;
        }
        html_ += "<td valign=\"top\">";
        cellOpen_ = true;
    }

    void CloseBox() {
        if (!cellOpen_) return;
        html_ += "</td>";
        cellOpen_ = false;
    }

    // Anything outside a box ends the row of boxes before it.
    void LeaveBoxRow() {
        if (!cellOpen_) CloseBoxRow();
    }

    void CloseBoxRow() {
        CloseBox();
        if (!rowOpen_) return;
        html_ += "</tr></table>";
        rowOpen_ = false;
    }

    QString html_;
    bool rowOpen_ = false;
    bool cellOpen_ = false;
};

}  // namespace

QString HelpTextFor(const QString& controlName) {
    for (const auto& [name, text] : kHelpTable)
        if (controlName == QLatin1String(name)) return text;
    if (controlName.contains(QLatin1String(kDynamicEditMark))) return kDynamicEditHelp;
    return kDefaultHelp;
}

QStringList HelpTableControlNames() {
    QStringList names;
    for (const auto& [name, text] : kHelpTable) names << QLatin1String(name);
    return names;
}

QString HelpMarkupToRichText(const QString& markup) { return MarkupRenderer().Render(markup); }

}  // namespace tessaro
