#include "scoretable.h"

#include <future>

StoredScore ScoreTable::addScore(const NewScore &score)
{
    std::promise<StoredScore> stored;
    std::future<StoredScore> result = stored.get_future();
    addScoreLater(score, [&stored](StoredScore row, std::exception_ptr error) {
        if (error)
            stored.set_exception(std::move(error));
        else
            stored.set_value(std::move(row));
    });
    return result.get();
}
