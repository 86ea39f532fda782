#include "DashboardJson.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <fmt/format.h>
#include <fmt/printf.h>

#include "ConditionTexts.h"
#include "Json.h"
#include "NumberText.h"
#include "ReadingValues.h"
#include "UserText.h"
#include "WeatherFormulas.h"

namespace {

// ---- Dates ----

// Whole seconds since 1970 of a local date, and its milliseconds.
std::pair<long long, int> UnixParts(TDateTime local) {
    return {LocalToUnixSeconds(local), DecodeDateTime(local).MilliSecond};
}

bool ReadInt(std::string_view text, size_t at, size_t length, int& value) {
    if (at + length > text.size()) return false;
    const char* first = text.data() + at;
    for (size_t i = 0; i < length; ++i)
        if (first[i] < '0' || first[i] > '9') return false;
    return std::from_chars(first, first + length, value).ec == std::errc();
}

// ---- Current reading ----

std::string Hex(const std::optional<TRgb>& c) {
    return c ? fmt::format("#{:02x}{:02x}{:02x}", c->R, c->G, c->B) : std::string();
}

void State(TJsonWriter& w, const char* key, const char* label, const TStatePanel& panel, int code) {
    w.Key(key).BeginObject();
    w.Key("label").String(Tr("Dashboard", label));
    w.Key("code").Integer(code);
    w.Key("text").String(panel.Text);
    w.Key("colour").String(Hex(panel.Colour));
    w.Key("hint").String(panel.Hint);
    w.EndObject();
}

// A value as infodata.txt writes it: the same text, here a JSON number.
void Value(TJsonWriter& w, const char* key, const char* label, const std::string& text, const char* unit) {
    w.Key(key).BeginObject();
    w.Key("label").String(Tr("Dashboard", label));
    w.Key("value").NumberText(text);
    w.Key("text").String(text); // as infodata.txt writes it, decimals included
    w.Key("unit").String(unit);
    w.EndObject();
}

void Verdict(TJsonWriter& w, const TSafetyMonitor& verdict) {
    w.BeginObject();
    w.Key("safe").Bool(verdict.IsSafe());
    w.Key("text").String(verdict.IsSafe() ? Tr("Dashboard", "SÛR") : Tr("Dashboard", "NON SÛR"));
    w.Key("reasons").BeginArray();
    for (const TUnsafeReason r : verdict.Reasons()) {
        w.BeginObject();
        w.Key("code").String(UnsafeReasonKey(r));
        w.Key("text").String(UnsafeReasonText(r, verdict));
        w.EndObject();
    }
    w.EndArray();
    w.Key("since");
    if (verdict.Since() != 0)
        w.String(IsoUtcText(verdict.Since()));
    else
        w.Null();
    w.EndObject();
}

// The values shown, in the page's order; the rain flag stands between humidity and gust.
struct TShownValue {
    const char* Key;
    const char* Label;
    TReadingValue Value;
    const char* Unit;
};

const TShownValue ValuesBeforeRain[] = {
    {"sky", TrNoop("Dashboard", "Température du ciel"), TReadingValue::SkyTemperature, "°C"},
    {"sky_minus_ambient", TrNoop("Dashboard", "Ciel − ambiante"), TReadingValue::SkyMinusAmbient, "°C"},
    {"ambient", TrNoop("Dashboard", "Température ambiante"), TReadingValue::AmbientTemperature, "°C"},
    {"dew_point", TrNoop("Dashboard", "Point de rosée"), TReadingValue::DewPoint, "°C"},
    {"humidity", TrNoop("Dashboard", "Humidité"), TReadingValue::Humidity, "%"},
};

const TShownValue ValuesAfterRain[] = {
    {"wind_gust", TrNoop("Dashboard", "Rafale"), TReadingValue::WindGust, "km/h"},
    {"wind_direction", TrNoop("Dashboard", "Direction de la rafale"), TReadingValue::WindDirection, "°"},
    {"magnitude", TrNoop("Dashboard", "Fond de ciel"), TReadingValue::SkyBrightness, "mag/arcsec²"},
    {"light_level", TrNoop("Dashboard", "Niveau de lumière"), TReadingValue::LightLevel, "log"},
    {"heater", TrNoop("Dashboard", "Chauffage"), TReadingValue::Heater, "%"},
    {"supply", TrNoop("Dashboard", "Alimentation"), TReadingValue::Supply, "V"},
    {"rain_sensor", TrNoop("Dashboard", "Détecteur de pluie"), TReadingValue::RainSensorTemperature, "°C"},
    {"ir_detector", TrNoop("Dashboard", "Détecteur IR"), TReadingValue::DetectorTemperature, "°C"},
};

void Values(TJsonWriter& w, const TcapteursInfos& r) {
    const auto show = [&](const TShownValue& v) { Value(w, v.Key, v.Label, ReadingValueText(r, v.Value), v.Unit); };
    w.Key("values").BeginObject();
    for (const TShownValue& v : ValuesBeforeRain)
        show(v);
    w.Key("rain").BeginObject();
    w.Key("label").String(Tr("Dashboard", "Pluie"));
    w.Key("value").Bool(r.RainStatus != 0);
    w.Key("unit").String("");
    w.EndObject();
    for (const TShownValue& v : ValuesAfterRain)
        show(v);
    w.EndObject();
}

void Relay(TJsonWriter& w, const TDashboardState& s) {
    const TRelayDisplay& r = s.Relay;
    w.Key("relay").BeginObject();
    w.Key("closed").Bool(s.RelayClosed);
    w.Key("text").String(r.Panel.Text);
    w.Key("colour").String(Hex(r.Panel.Colour));
    w.Key("hint").String(r.Panel.Hint);
    w.Key("criteria").BeginArray();
    const std::pair<const char*, const std::string*> criteria[] = {
        {TrNoop("Dashboard", "Surveillance"), &r.WatchText},
        {TrNoop("Dashboard", "Ciel-sol <"), &r.SkyThresholdText},
        {TrNoop("Dashboard", "Humidité <"), &r.RHThresholdText},
        {TrNoop("Dashboard", "Vent <"), &r.WindThresholdText},
        {TrNoop("Dashboard", "Lumière"), &r.LightText},
        {TrNoop("Dashboard", "Magnitude >"), &r.MagnitudeText},
    };
    for (const auto& [label, text] : criteria) {
        w.BeginObject();
        w.Key("label").String(Tr("Dashboard", label));
        w.Key("text").String(*text);
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
}

// ---- History ----

// The good-conditions strip per column: 1 where a reading was good, 0 where one was not.
std::vector<TColumnMinMax> GoodPerColumn(const TTDataStation& records, TDateTime from, TDateTime to,
                                         int columns, const TSetupInfos& setup) {
    std::vector<TColumnMinMax> result(static_cast<size_t>(columns));
    const auto before = [](const TcapteursInfos& r, TDateTime date) { return r.DateSysteme < date; };
    auto i = std::lower_bound(records.begin(), records.end(), from, before);
    const auto end = std::lower_bound(i, records.end(), to, before);
    for (int c = 0; c < columns && i != end; ++c) {
        const TDateTime columnEnd = ColumnStart(from, to, columns, c + 1);
        TColumnMinMax& cell = result[static_cast<size_t>(c)];
        for (; i != end && i->DateSysteme < columnEnd; ++i) {
            const double good = IsGoodConditions(*i, setup) ? 1 : 0;
            cell = cell.Valid ? TColumnMinMax{std::min(cell.Min, good), std::max(cell.Max, good), true}
                              : TColumnMinMax{good, good, true};
        }
    }
    return result;
}

std::string EmptyRangeReason() {
    return Tr("Dashboard", "la date \"from\" doit précéder la date \"to\"");
}

std::string Reasoned(const char* pattern, std::string_view value) {
    return fmt::sprintf(Tr("Dashboard", pattern), std::string(value));
}

} // namespace

// ---- Dates ------------------------------------------------------------------------------------

std::string IsoUtcText(TDateTime local) {
    const auto [seconds, ms] = UnixParts(local);
    const time_t t = static_cast<time_t>(seconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", utc.tm_year + 1900, utc.tm_mon + 1,
                       utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, ms);
}

double UnixSeconds(TDateTime local) {
    const auto [seconds, ms] = UnixParts(local);
    return static_cast<double>(seconds) + ms / 1000.0;
}

std::optional<TDateTime> ParseIsoDate(std::string_view text) {
    // yyyy-mm-ddThh:mm:ss[.fff][Z|+hh:mm|-hh:mm|+hhmm]
    int year, month, day, hour, minute, second;
    if (text.size() < 20 || !ReadInt(text, 0, 4, year) || text[4] != '-' || !ReadInt(text, 5, 2, month) ||
        text[7] != '-' || !ReadInt(text, 8, 2, day) ||
        (text[10] != 'T' && text[10] != 't' && text[10] != ' ') || !ReadInt(text, 11, 2, hour) ||
        text[13] != ':' || !ReadInt(text, 14, 2, minute) || text[16] != ':' || !ReadInt(text, 17, 2, second))
        return std::nullopt;
    size_t at = 19;
    int ms = 0;
    if (at < text.size() && text[at] == '.') {
        size_t digits = 0;
        int scale = 100;
        for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
            ms += (text[at] - '0') * scale;
            scale /= 10;
        }
        if (digits == 0) return std::nullopt;
    }
    if (at >= text.size()) return std::nullopt; // a zone is required: local time is ambiguous
    int offsetMinutes = 0;
    if (text[at] == 'Z' || text[at] == 'z') {
        ++at;
    } else if (text[at] == '+' || text[at] == '-') {
        const int sign = text[at] == '-' ? -1 : 1;
        int oh, om;
        if (!ReadInt(text, at + 1, 2, oh)) return std::nullopt;
        size_t m = at + 3;
        if (m < text.size() && text[m] == ':') ++m;
        if (!ReadInt(text, m, 2, om) || oh > 23 || om > 59) return std::nullopt;
        offsetMinutes = sign * (oh * 60 + om);
        at = m + 2;
    } else {
        return std::nullopt;
    }
    if (at != text.size()) return std::nullopt;
    if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 ||
        second > 60)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    const time_t utc = timegm(&tm);
    if (tm.tm_mday != day) return std::nullopt; // 31 February and the like were moved on
    const time_t t = utc - static_cast<time_t>(offsetMinutes) * 60;
    std::tm local{};
    localtime_r(&t, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec, ms);
}

// ---- Current reading --------------------------------------------------------------------------

std::string CurrentJson(const TDashboardState& s, const TSafetyMonitor& verdict, TDateTime now) {
    TJsonWriter w;
    w.BeginObject();
    w.Key("time").String(IsoUtcText(s.Reading.DateSysteme));
    w.Key("age").Integer(std::llround(std::max(0.0, (now - s.Reading.DateSysteme) * 86400.0)));
    Values(w, s.Reading);
    const TConditions& c = s.Conditions;
    w.Key("states").BeginObject();
    State(w, "sky", TrNoop("Dashboard", "Ciel"), SkyPanel(c.Sky), c.CloudCode());
    State(w, "air", TrNoop("Dashboard", "Atmosphère"), AirPanel(c.Air), c.RainCode());
    State(w, "rain", TrNoop("Dashboard", "Pluie/neige"), RainPanel(c.Raining), c.Raining ? 1 : 0);
    State(w, "wind", TrNoop("Dashboard", "Vent"), WindPanel(c.Wind), c.WindCode());
    State(w, "light", TrNoop("Dashboard", "Fond de ciel"), SkyBackgroundPanel(c.SkyBackground), c.DayCode());
    w.EndObject();
    Relay(w, s);
    w.Key("verdict");
    Verdict(w, verdict);
    w.Key("link_lost").Bool(s.LinkLost);
    w.EndObject();
    return w.Take();
}

std::string NoReadingJson() {
    return ErrorJson("no_reading", Tr("Dashboard", "aucune mesure météo reçue depuis le démarrage"));
}

std::string VerdictJson(const TSafetyMonitor& verdict) {
    TJsonWriter w;
    Verdict(w, verdict);
    return w.Take();
}

// ---- History ----------------------------------------------------------------------------------

const std::vector<THistoryQuantity>& HistoryQuantities() {
    using Q = TPlottedQuantity;
    static const std::vector<THistoryQuantity> quantities = {
        {"sky", "°C", Q::IRData},
        {"sky_minus_ambient", "°C", Q::IRData_Minus_Sol},
        {"ambient", "°C", Q::TempData},
        {"dew_point", "°C", Q::DewPoint},
        {"humidity", "%", Q::MoistureData},
        {"wind_gust", "km/h", Q::WinData},
        {"magnitude", "mag/arcsec²", Q::Lighdata, true},
        {"light_level", "log", Q::Lighdata},
        {"rain_sensor", "°C", Q::HeatData},
        {"good", "", Q::IRData, false, true},
        {"supply", "V", Q::PowerVolts},
    };
    return quantities;
}

THistoryQuery ParseHistoryQuery(const std::vector<std::pair<std::string, std::string>>& parameters) {
    THistoryQuery q;
    const auto refuse = [&q](const char* code, std::string reason) {
        if (q.Error.empty()) {
            q.Error = code;
            q.Reason = std::move(reason);
        }
    };
    bool quantityGiven = false;
    for (const auto& [name, value] : parameters) {
        if (name == "quantity") {
            quantityGiven = true;
            // Each value is checked, a repeated one too: an unknown name never passes behind a known one.
            const THistoryQuantity* named = nullptr;
            for (const THistoryQuantity& hq : HistoryQuantities())
                if (value == hq.Name) named = &hq;
            if (named)
                q.Quantity = named;
            else
                refuse("unknown_quantity",
                       Reasoned(TrNoop("Dashboard", "grandeur inconnue : \"%s\""), value));
        } else if (name == "from" || name == "to") {
            const std::optional<TDateTime> date = ParseIsoDate(value);
            if (!date) {
                refuse(name == "from" ? "bad_from" : "bad_to",
                       fmt::sprintf(Tr("Dashboard",
                                       "date \"%s\" de %s illisible : ISO 8601 avec fuseau attendu, par "
                                       "exemple 2026-12-09T21:00:00Z"),
                                    value, name));
            }
            (name == "from" ? q.From : q.To) = date;
        } else if (name == "columns") {
            int columns = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), columns);
            if (ec != std::errc() || end != value.data() + value.size() || columns < 1 ||
                columns > HistoryColumnsMax)
                refuse("bad_columns",
                       fmt::sprintf(Tr("Dashboard", "nombre de colonnes \"%s\" refusé : de 1 à %d"), value,
                                    HistoryColumnsMax));
            else
                q.Columns = columns;
        } else {
            refuse("unknown_parameter", Reasoned(TrNoop("Dashboard", "paramètre inconnu : \"%s\""), name));
        }
    }
    if (!quantityGiven) refuse("missing_quantity", Tr("Dashboard", "paramètre \"quantity\" manquant"));
    if (q.Error.empty() && q.From && q.To && !(*q.From < *q.To))
        refuse("empty_range", EmptyRangeReason());
    return q;
}

TDateTime HistoryDefaultEnd(const THistoryStore& history, TDateTime now) {
    const TTDataStation& records = history.Records();
    return records.empty() ? now : std::max(now, records.back().DateSysteme + 1.0 / 86400);
}

void RefuseEmptyRange(THistoryQuery& query, const THistoryStore& history, TDateTime now) {
    if (!query.Error.empty() || !query.From) return;
    if (*query.From < query.To.value_or(HistoryDefaultEnd(history, now))) return;
    query.Error = "empty_range";
    query.Reason = EmptyRangeReason();
}

THistoryAnswer HistoryColumns(const THistoryQuery& query, const THistoryStore& history, TDateTime now,
                              const TSetupInfos& setup) {
    const TTDataStation& records = history.Records();
    THistoryAnswer a;
    // Absent ends: now (or just past the newest record, for a station clock ahead), and the oldest record.
    a.To = query.To.value_or(HistoryDefaultEnd(history, now));
    a.From = query.From.value_or(records.empty() ? a.To - 1 : records.front().DateSysteme);
    if (!(a.From < a.To)) a.From = a.To - 1.0 / 86400; // "all" of a history that starts later than `to`
    const THistoryQuantity& q = *query.Quantity;
    if (q.Good)
        a.Columns = GoodPerColumn(records, a.From, a.To, query.Columns, setup);
    else
        a.Columns =
            history.MinMaxPerColumn(q.Quantity, a.From, a.To, query.Columns, TPlotOptions{q.Magnitude});
    a.Count = history.LowerBound(a.To) - history.LowerBound(a.From);
    return a;
}

std::string HistoryJson(const THistoryQuery& query, const THistoryStore& history, TDateTime now,
                        const TSetupInfos& setup) {
    const THistoryAnswer a = HistoryColumns(query, history, now, setup);
    const int columns = static_cast<int>(a.Columns.size());
    const TTDataStation& records = history.Records();
    TJsonWriter w;
    w.BeginObject();
    w.Key("quantity").String(query.Quantity->Name);
    w.Key("unit").String(query.Quantity->Unit);
    w.Key("from").String(IsoUtcText(a.From));
    w.Key("to").String(IsoUtcText(a.To));
    w.Key("columns").Integer(columns);
    w.Key("count").Integer(static_cast<long long>(a.Count));
    w.Key("first");
    if (records.empty())
        w.Null();
    else
        w.String(IsoUtcText(records.front().DateSysteme));
    // Column starts in seconds since 1970: the time zone is applied once, the columns are even.
    const double fromUnix = UnixSeconds(a.From);
    const double span = (a.To - a.From) * 86400.0;
    w.Key("t").BeginArray();
    for (int c = 0; c < columns; ++c)
        w.Thousandths(std::llround((fromUnix + span * c / columns) * 1000));
    w.EndArray();
    // At the records' own precision (single), in the shortest text that keeps it.
    for (const bool high : {false, true}) {
        w.Key(high ? "max" : "min").BeginArray();
        for (const TColumnMinMax& cell : a.Columns)
            cell.Valid ? w.Float(static_cast<float>(high ? cell.Max : cell.Min)) : w.Null();
        w.EndArray();
    }
    w.EndObject();
    return w.Take();
}

std::string ErrorJson(std::string_view code, std::string_view reason) {
    TJsonWriter w;
    w.BeginObject().Key("error").String(code).Key("reason").String(reason).EndObject();
    return w.Take();
}

// ---- Events -----------------------------------------------------------------------------------

std::string SseEvent(std::string_view name, std::string_view data) {
    std::string out = "event: ";
    out += name;
    out += '\n';
    size_t start = 0;
    while (true) {
        const size_t end = data.find('\n', start);
        out += "data: ";
        out += data.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        out += '\n';
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    out += '\n';
    return out;
}

std::string SseComment() {
    return ": keep-alive\n\n";
}

// ---- Page -------------------------------------------------------------------------------------

std::string PageLanguage() {
    // The language module translates its own code.
    return Tr("Dashboard", "fr");
}

std::string PageTextsJson() {
    const std::pair<const char*, const char*> texts[] = {
        {"title", TrNoop("Dashboard", "Orvanel : conditions à l'observatoire")},
        {"safe", TrNoop("Dashboard", "SÛR")},
        {"unsafe", TrNoop("Dashboard", "NON SÛR")},
        {"all_good", TrNoop("Dashboard", "toutes les conditions sont réunies")},
        {"since", TrNoop("Dashboard", "depuis %1")},
        {"age", TrNoop("Dashboard", "mesure d'il y a %1")},
        {"too_old", TrNoop("Dashboard", "%1 : trop ancienne")},
        {"link_lost", TrNoop("Dashboard", "liaison perdue")},
        {"no_reading", TrNoop("Dashboard", "aucune mesure")},
        {"waiting", TrNoop("Dashboard", "en attente de la première mesure...")},
        {"offline", TrNoop("Dashboard", "connexion au programme perdue, nouvel essai...")},
        {"values", TrNoop("Dashboard", "Mesures")},
        {"states", TrNoop("Dashboard", "Etats")},
        {"relay", TrNoop("Dashboard", "Relais")},
        {"history", TrNoop("Dashboard", "Historique")},
        {"theme", TrNoop("Dashboard", "Thème")},
        {"day", TrNoop("Dashboard", "Jour")},
        {"dark", TrNoop("Dashboard", "Sombre")},
        {"night", TrNoop("Dashboard", "Vision de nuit")},
        {"range_6h", TrNoop("Dashboard", "6 h")},
        {"range_24h", TrNoop("Dashboard", "24 h")},
        {"range_3d", TrNoop("Dashboard", "3 jours")},
        {"range_7d", TrNoop("Dashboard", "7 jours")},
        {"range_30d", TrNoop("Dashboard", "30 jours")},
        {"range_1y", TrNoop("Dashboard", "1 an")},
        {"range_all", TrNoop("Dashboard", "tout")},
        {"zoom_hint", TrNoop("Dashboard", "Glisser sur un graphique pour zoomer, double-clic pour revenir.")},
        {"history_error", TrNoop("Dashboard", "historique non mis à jour : %1")},
        {"yes", TrNoop("Dashboard", "OUI")},
        {"no", TrNoop("Dashboard", "NON")},
        {"plot_sky", TrNoop("Dashboard", "Ciel et ciel − ambiante")},
        {"plot_ambient", TrNoop("Dashboard", "Température ambiante et point de rosée")},
        {"plot_humidity", TrNoop("Dashboard", "Humidité")},
        {"plot_wind", TrNoop("Dashboard", "Rafale")},
        {"plot_light", TrNoop("Dashboard", "Fond de ciel")},
        {"good_strip", TrNoop("Dashboard", "bonnes conditions")},
        {"min", TrNoop("Dashboard", "min")},
        {"max", TrNoop("Dashboard", "max")},
    };
    TJsonWriter w;
    w.BeginObject();
    for (const auto& [key, text] : texts)
        w.Key(key).String(Tr("Dashboard", text));
    w.EndObject();
    return w.Take();
}

std::string FillPage(std::string_view page) {
    std::string out(page);
    const auto replace = [&out](std::string_view marker, const std::string& by) {
        for (size_t at = out.find(marker); at != std::string::npos; at = out.find(marker, at + by.size()))
            out.replace(at, marker.size(), by);
    };
    replace("<!--TEXTS-->", PageTextsJson());
    replace("@LANG@", PageLanguage());
    return out;
}
