#pragma once

#include "Localization/HelpTopic.h"

#include <string>
#include <vector>

// What the help window shows: the chosen topic and the search field.
struct HelpViewState {
    std::string selection; // id of the chosen topic
    std::string searchText;

    // Opens on the first topic.
    HelpViewState();
    explicit HelpViewState(const std::vector<HelpTopic>& topics);

    std::vector<HelpTopic> visibleTopics(const std::vector<HelpTopic>& topics) const;
};
