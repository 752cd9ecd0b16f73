// Verbs of the event log: new or all events with their texts, one object, clearing.
#include <cstring>

#include "CliVerbs.h"

using nlohmann::ordered_json;

namespace {

std::string TypeText(unsigned category, unsigned type) {
    auto pick = [type](const char* const* table, unsigned n) -> std::string {
        return type < n ? table[type] : "type " + std::to_string(type);
    };
    switch (category) {
    case 1:
        return pick(htmRaidEvent, 5);
    case 2:
        return pick(htmVolEvent, 14);
    case 3:
        return pick(htmDevEvent, 10);
    case 4:
        return pick(htmScsiHostEvent, 3);
    case 5:
        return pick(htmHwMonEvent, 39);
    }
    return "";
}

ordered_json EventJson(int index, const sEVET_DATA& e) {
    sSYS_TIME t;
    std::memcpy(&t, &e.evtTime, sizeof t);
    ordered_json o;
    o["object"] = index;
    o["category"] = e.evtCategory;
    o["category_text"] = e.evtCategory < EVENT_CATEGORIES
                             ? std::string(eventCat[e.evtCategory])
                             : "category " + std::to_string(e.evtCategory);
    o["type"] = e.evtType;
    // The controller's own padding is kept out of the line; the raw text stays in JSON.
    std::string text = TypeText(e.evtCategory, e.evtType);
    o["type_text"] = VrnFieldText(text.c_str(), text.size());
    o["channel"] = e.evtChannel;
    o["flag"] = e.evtFlag;
    o["time"] = static_cast<unsigned int>(e.evtTime);
    const unsigned fields[7] = {t.u.tmYear,   t.u.tmMonth,  t.u.tmDate, t.u.tmHour,
                                t.u.tmMinute, t.u.tmSecond, t.u.tmFlag};
    o["time_fields"] = ordered_json{
        {"year", fields[0]},   {"month", fields[1]},  {"day", fields[2]}, {"hour", fields[3]},
        {"minute", fields[4]}, {"second", fields[5]}, {"flag", fields[6]}};
    o["data1"] = e.evtData1;
    o["data2"] = e.evtData2;
    o["text"] = VrnFieldText(e.evtStr);
    return o;
}

} // namespace

// events [--all | --since INDEX]: the new events since INDEX (0 without it), or the whole
// log; oldest first, as the monitoring utility reads them (highest object down to 0).
int VerbEvents(SCliContext& ctx) {
    bool all = false;
    unsigned long since = 0;
    if (ctx.args.size() == 1 && ctx.args[0] == "--all") {
        all = true;
    } else if (ctx.args.size() == 2 && ctx.args[0] == "--since") {
        if (!cli::ArgNumber(ctx, 1, 0, 63, "INDEX", &since))
            return VRN_BAD_ARGUMENT;
    } else if (!ctx.args.empty()) {
        ctx.error = "takes --all or --since INDEX";
        return VRN_BAD_ARGUMENT;
    }
    ctx.session.m_iPreIndex = static_cast<int>(since);
    int count = 0;
    const int status = ctx.session.VrnGetReqEventPage(all ? 0 : 1, &count);
    if (status != VRN_OK)
        return status;
    ctx.out["index"] = ctx.session.m_iCurrentIndex;
    ctx.out["count"] = count;
    ordered_json events = ordered_json::array();
    for (int i = count - 1; i >= 0; --i) {
        sEVET_DATA e;
        if (ctx.session.VrnGetEventObject(i, &e))
            events.push_back(EventJson(i, e));
    }
    ctx.out["events"] = events;
    return VRN_OK;
}

// event-object I: object I (0 newest) of the whole log.
int VerbEventObject(SCliContext& ctx) {
    unsigned long i = 0;
    if (!cli::ArgCount(ctx, 1, 1) || !cli::ArgNumber(ctx, 0, 0, 63, "I", &i))
        return VRN_BAD_ARGUMENT;
    int count = 0;
    const int status = ctx.session.VrnGetReqEventPage(0, &count);
    if (status != VRN_OK)
        return status;
    sEVET_DATA e;
    ctx.session.VrnGetEventObject(static_cast<int>(i), &e);
    ctx.out["count"] = count;
    ctx.out["event"] = EventJson(static_cast<int>(i), e);
    return VRN_OK;
}

int VerbClearEvents(SCliContext& ctx) {
    if (!cli::ArgCount(ctx, 0, 0))
        return VRN_BAD_ARGUMENT;
    return ctx.session.VrnClearEvent();
}
