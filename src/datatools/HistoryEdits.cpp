#include "HistoryEdits.h"

#include <cmath>
#include <fmt/printf.h>

#include "HistoryStore.h"
#include "Log.h"
#include "UserText.h"

namespace {


} // namespace

TIndexRangeCheck CheckIndexRange(const THistoryStore& store, int64_t start, int64_t end) {
    TIndexRangeCheck check;
    if (end < start)
        check.Refusal = Tr("HistoryEdits", "Index d'arrivée inférieur à l'index de depart !!");
    else if (end > static_cast<int64_t>(store.Size()))
        check.Refusal = Tr("HistoryEdits", "Index d'arrivée supérieur au nombre de points !!");
    else if (start < 1)
        check.Refusal = Tr("HistoryEdits", "Index de départ inférieur à 1 !!");
    if (!check.Allowed()) return check;
    check.Count = static_cast<size_t>(end - start + 1);
    check.FirstDate = store.Records()[static_cast<size_t>(start - 1)].DateSysteme;
    check.LastDate = store.Records()[static_cast<size_t>(end - 1)].DateSysteme;
    return check;
}

std::string DeleteQuestion(const TIndexRangeCheck& check) {
    return fmt::sprintf(Tr("HistoryEdits", "Supprimer définitivement %d donnée(s), du %s au %s ?"),
                        static_cast<int>(check.Count), DateTimeText(check.FirstDate),
                        DateTimeText(check.LastDate));
}

size_t DeleteIndexRange(THistoryStore& store, int64_t start, int64_t end) {
    const TIndexRangeCheck check = CheckIndexRange(store, start, end);
    if (!check.Allowed()) throw EOrvanelError(check.Refusal);
    const size_t removed = store.RemoveAt(static_cast<size_t>(start - 1), check.Count);
    LogToday(fmt::sprintf("%d points deleted by the user, indices %d to %d, from %s to %s",
                          static_cast<int>(removed), static_cast<int>(start), static_cast<int>(end),
                          DateTimeText(check.FirstDate), DateTimeText(check.LastDate)));
    store.SaveChanged();
    return removed;
}

size_t CleanWindValues(THistoryStore& store) {
    const size_t changed = store.ChangeRecords([](TcapteursInfos& r) {
        const double gust = r.WindSpeedMax_ms;
        if (!(gust >= 0 && gust <= MaxPlausibleGust)) {
            r.WindSpeedMax_ms = 0;
            return true;
        }
        return false;
    });
    LogToday(fmt::sprintf("Wind values cleaned : %d points set to 0", static_cast<int>(changed)));
    store.SaveChanged();
    return changed;
}
