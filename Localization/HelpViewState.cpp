#include "Localization/HelpViewState.h"

HelpViewState::HelpViewState()
    : HelpViewState(HelpTopic::all()) {}

HelpViewState::HelpViewState(const std::vector<HelpTopic>& topics)
    : selection(topics.empty() ? std::string() : topics.front().id) {}

std::vector<HelpTopic> HelpViewState::visibleTopics(const std::vector<HelpTopic>& topics) const {
    return HelpTopic::filter(topics, searchText);
}
