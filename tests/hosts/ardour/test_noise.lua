ardour {
	["type"]    = "dsp",
	name        = "Tolvane Test Noise",
	category    = "Utility",
	license     = "MIT",
	author      = "Tolvane tests",
	description = [[Deterministic stereo noise: each sample a hash of its position on the timeline, so every render of a session plays the same input.]]
}

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

local function noise (n)
	local h = (n * 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
	h = (h ~ (h >> 31)) * 0xBF58476D1CE4E5B9
	h = h ~ (h >> 27)
	return ((h >> 40) & 0xFFFFFF) / 16777216.0 * 0.5 - 0.25
end

function dsp_run (ins, outs, n_samples)
	local pos = Session:transport_sample ()
	for c = 1, #outs do
		local a = {}
		for s = 1, n_samples do
			a[s] = noise ((pos + s - 1) * 2 + c)
		end
		outs[c]:set_table (a, n_samples)
	end
end
